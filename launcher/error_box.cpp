#include "error_box.h"

#include <windows.h>

#include <string>

#include "messages.h"

namespace {

constexpr UINT kCentralEuropeanCodePage = 1250;

std::wstring Widen1250(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int size = static_cast<int>(text.size());
    const int wideSize =
        MultiByteToWideChar(kCentralEuropeanCodePage, 0, text.data(), size, nullptr, 0);
    if (wideSize <= 0) return std::wstring(text.begin(), text.end());
    std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
    MultiByteToWideChar(kCentralEuropeanCodePage, 0, text.data(), size, &wide[0], wideSize);
    return wide;
}

}  // namespace

void ShowErrorBox(const std::string& text1250) {
    // MB_OK | MB_ICONERROR is style 16.
    MessageBoxW(nullptr, Widen1250(text1250).c_str(), Widen1250(kErrorCaption).c_str(),
                MB_OK | MB_ICONERROR);
}
