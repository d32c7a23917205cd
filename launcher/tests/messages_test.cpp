#include "messages.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

// The texts as a reader sees them, decoded from code page 1250 by the platform's own tables.
std::string Utf8From1250(const std::string& bytes) {
#ifdef _WIN32
    const int size = static_cast<int>(bytes.size());
    std::wstring wide(bytes.size(), L'\0');
    wide.resize(
        MultiByteToWideChar(1250, MB_ERR_INVALID_CHARS, bytes.data(), size, &wide[0], size));
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                    &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr));
    return utf8;
#else
    iconv_t converter = iconv_open("UTF-8", "CP1250");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    std::string in = bytes;
    std::string out(bytes.size() * 3 + 1, '\0');
    char* inPointer = &in[0];
    char* outPointer = &out[0];
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    EXPECT_NE(iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft),
              static_cast<std::size_t>(-1));
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
#endif
}

TEST(MessagesTest, ReadAsCzechInCodePage1250) {
    EXPECT_EQ(Utf8From1250(NoParametersMessage()),
              "Nepodařilo se spustit aplikaci, protože nebyly nalezeny parametry pro spuštění.");
    EXPECT_EQ(Utf8From1250(NoJavaMessage()),
              "Nepodařilo se nalézt instalaci Javy, která je potřeba pro spuštění této aplikace. "
              "Proveďte prosím reinstalaci Javy.");
    EXPECT_EQ(Utf8From1250(OldJavaMessage()),
              "Pravděpodobně máte nainstalovánu starou verzi Javy a je tak možné, že se aplikace "
              "nespustí. Nainstalujte prosím alespoň Javu verze 6.");
    EXPECT_EQ(Utf8From1250(LaunchFailureMessage("IsWow64: bad process handle")),
              "Nastala chyba při spouštění aplikace. Chyba: IsWow64: bad process handle");
    EXPECT_EQ(Utf8From1250(kErrorCaption), "Chyba");
}

TEST(MessagesTest, AreSingleBytesNotUtf8) {
    // "ř" is one byte 0xF8 in code page 1250; a UTF-8 source would have given two.
    EXPECT_EQ(NoParametersMessage().substr(0, 8), "Nepoda\xF8i");
}

TEST(MessagesTest, StageTextsReadAsCzech) {
    EXPECT_EQ(Utf8From1250(kReadingParametersStage), "Začínám číst parametry...");
    EXPECT_EQ(Utf8From1250(kDetectingJavaStage), "Začínám detekovat verzi Javy...");
    EXPECT_EQ(Utf8From1250(kProbingJavaStage), "Detekuji, zda je Java nainstalována...");
    EXPECT_EQ(Utf8From1250(kCheckingVersionStage), "Detekuji, zda je Java korektní verze...");
    EXPECT_EQ(Utf8From1250(kStartingStage), "Spouštím aplikaci. Parametry: ");
    EXPECT_EQ(Utf8From1250(kAppPathStage), "AppPath: ");
    EXPECT_EQ(Utf8From1250(kJavaKeyStage), "SOFTWARE\\JavaSoft\\Java Runtime Environment");
    EXPECT_EQ(Utf8From1250(kValueExistsStage), "Test existence CurrentVersion");
    EXPECT_EQ(Utf8From1250(kReadingValueStage), "Čtu CurrentVersion");
    EXPECT_EQ(Utf8From1250(kVersionNumberStage), "Navratova hodnota: ");
}

}  // namespace
