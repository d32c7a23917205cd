// Run with the Czech ANSI code page (Windows-1250).
#include "ansi_text.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(AnsiText, RunsUnderTheCzechCodePage) { ASSERT_EQ(GetACP(), 1250u); }

TEST(AnsiText, CzechNamesRoundTrip) {
    const std::string ansi =
        "Skener \xC8tvrt\xFD \xF8"
        "ady";
    const std::u16string text = u"Skener \u010Ctvrt\u00FD \u0159ady";
    EXPECT_EQ(AnsiToUtf16(ansi), text);
    EXPECT_EQ(Utf16ToAnsi(text), ansi);
    EXPECT_EQ(Utf16ToAnsi(u""), std::string());
}

TEST(AnsiText, CharactersOutsideTheCodePageHaveNoAnsiForm) {
    EXPECT_EQ(Utf16ToAnsi(u"\u65E5\u672C"), std::nullopt);
    // Best fit would make this "a"; it must not match a source named "a".
    EXPECT_EQ(Utf16ToAnsi(u"\u0101"), std::nullopt);
    const char16_t lone[] = {u'x', 0xD800, 0};
    EXPECT_EQ(Utf16ToAnsi(lone), std::nullopt);
}
