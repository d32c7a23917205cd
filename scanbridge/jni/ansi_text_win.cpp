#include "ansi_text.h"

#include <windows.h>

std::u16string AnsiToUtf16(std::string_view ansi) {
    if (ansi.empty()) return {};
    const int length = static_cast<int>(ansi.size());
    const int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, text.data(), wide);
    return std::u16string(text.begin(), text.end());
}

std::optional<std::string> Utf16ToAnsi(std::u16string_view text) {
    if (text.empty()) return std::string();
    const std::wstring wide(text.begin(), text.end());
    const int length = static_cast<int>(wide.size());
    // A machine whose ANSI code page is UTF-8 refuses the substitution
    // report; there only unpaired surrogates have no ANSI form.
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL substituted = FALSE;
    BOOL* const report = utf8 ? nullptr : &substituted;
    const int bytes =
        WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0, nullptr, report);
    if (bytes <= 0 || substituted) return std::nullopt;
    std::string ansi(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, flags, wide.data(), length, ansi.data(), bytes, nullptr, nullptr);
    return ansi;
}
