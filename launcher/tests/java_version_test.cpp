#include "java_version.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

struct Case {
    const char* text;
    int version;
};

class JavaVersionFromTextTest : public testing::TestWithParam<Case> {};

TEST_P(JavaVersionFromTextTest, ReadsTheVersionNumber) {
    EXPECT_EQ(JavaVersionFromText(GetParam().text), GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JavaVersionFromTextTest,
    testing::Values(Case{"1.5", 5}, Case{"1.6", 6}, Case{"1.8", 8}, Case{"2.7", 7},
                    // Newer runtimes write 1.10 or just 11; neither is an old Java.
                    Case{"1.10", 10}, Case{"1.17", 17}, Case{"11", 11}, Case{"9", 9},
                    Case{"21", 21}, Case{"123", 123}, Case{"", -1}, Case{"1.", -1},
                    Case{"1.8.0", -1}, Case{"1.8_1", -1}, Case{"17.0", -1}, Case{"x", -1},
                    Case{"1.x0", -1}, Case{"99999999999", -1}),
    [](const testing::TestParamInfo<Case>& info) {
        std::string name;
        for (const char* c = info.param.text; *c; ++c) {
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        }
        return "V" + name + "_" + std::to_string(info.index);
    });

TEST(JavaVersionFromTextTest, ThreeCharactersWithANonDigitLastFail) {
    for (const char* text : {"1.x", "a.b", "1. ", "12x"}) {
        EXPECT_THROW(JavaVersionFromText(text), std::runtime_error) << text;
    }
}

TEST(JavaVersionFromTextTest, FailureNamesTheValue) {
    try {
        JavaVersionFromText("1.x");
        FAIL() << "no failure";
    } catch (const std::runtime_error& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  "CurrentVersion \"1.x\" is not a valid version number");
    }
}

TEST(RequiredJavaVersionTest, SixPassesFiveDoesNot) {
    EXPECT_GE(JavaVersionFromText("1.6"), RequiredJavaVersion);
    EXPECT_LT(JavaVersionFromText("1.5"), RequiredJavaVersion);
    EXPECT_LT(-1, RequiredJavaVersion);
}

}  // namespace
