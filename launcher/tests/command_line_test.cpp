#include "command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
    const char* name;
    std::string raw;
    std::vector<std::string> arguments;  // the program name first
};

class SplitArgumentsTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTest, SplitsByTheLaunchersOwnRules) {
    EXPECT_EQ(SplitArguments(GetParam().raw), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    RawCommandLines, SplitArgumentsTest,
    testing::Values(
        SplitCase{"ProgramOnly", "runner.exe", {"runner.exe"}},
        SplitCase{"QuotedProgram",
                  "\"C:\\Program Files\\App\\runner.exe\" a",
                  {"C:\\Program Files\\App\\runner.exe", "a"}},
        SplitCase{"Blanks", "runner.exe one  two ", {"runner.exe", "one", "two"}},
        SplitCase{"ControlCharactersSeparate",
                  "runner.exe\ta\x01"
                  "b\x1F"
                  "c\r\nd",
                  {"runner.exe", "a", "b", "c", "d"}},
        SplitCase{"QuotedBlanksStay", "runner.exe \"two words\"", {"runner.exe", "two words"}},
        SplitCase{"QuotesInsideAnArgumentRemoved",
                  "runner.exe a\"b c\"d e",
                  {"runner.exe", "ab cd", "e"}},
        SplitCase{"UnclosedQuoteRunsToTheEnd", "runner.exe \"a b", {"runner.exe", "a b"}},
        SplitCase{"EmptyQuotedArgumentDropped", "runner.exe \"\" a \"\"", {"runner.exe", "a"}},
        SplitCase{"SeveralEmptyPairsDropped", "runner.exe \"\"\"\" \"\" a", {"runner.exe", "a"}},
        SplitCase{"EmptyPairInsideAnArgumentRemoved", "runner.exe a\"\"b", {"runner.exe", "ab"}},
        SplitCase{"LoneQuoteAtTheEndDropped", "runner.exe a \"", {"runner.exe", "a"}},
        SplitCase{"BackslashIsOrdinary",
                  "runner.exe C:\\Data\\ \"x\\\"y",
                  {"runner.exe", "C:\\Data\\", "x\\y"}},
        SplitCase{"NoArgumentsAtAll", "", {}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

struct QuoteCase {
    const char* name;
    std::string raw;
    std::string quoted;
};

class QuoteArgumentsTest : public testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteArgumentsTest, WrapsEachArgumentAfterTheProgramName) {
    EXPECT_EQ(QuoteArguments(GetParam().raw), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    RawCommandLines, QuoteArgumentsTest,
    testing::Values(
        QuoteCase{"NoArguments", "runner.exe", ""},
        QuoteCase{"NoArgumentsTrailingBlanks", "\"C:\\A B\\runner.exe\"  ", ""},
        QuoteCase{"WorkedExample", "runner.exe one \"two words\"", " \"one\" \"two words\""},
        QuoteCase{"EmptyQuotedArgumentNotPassed", "runner.exe \"\" x", " \"x\""},
        QuoteCase{"InnerBackslashesUntouched", "runner.exe C:\\a\\b", " \"C:\\a\\b\""},
        // java.exe reads \" as an escaped quote; doubling the backslashes before the closing
        // quote makes it read the argument exactly as the launcher got it.
        QuoteCase{"TrailingBackslashDoubled", "runner.exe C:\\Data\\ next",
                  " \"C:\\Data\\\\\" \"next\""},
        QuoteCase{"TrailingBackslashesAllDoubled", "runner.exe \"a b\\\\\"", " \"a b\\\\\\\\\""},
        QuoteCase{"OnlyBackslash", "runner.exe \\", " \"\\\\\""}),
    [](const testing::TestParamInfo<QuoteCase>& info) { return std::string(info.param.name); });

TEST(JavaCommandLineTest, IsJavaExeAndTheParameters) {
    EXPECT_EQ(JavaCommandLine(""), "java.exe ");
    EXPECT_EQ(JavaCommandLine("-Xmx512m -jar app.jar \"one\" \"two words\""),
              "java.exe -Xmx512m -jar app.jar \"one\" \"two words\"");
}

TEST(JavaCommandLineTest, EndsAtAZeroByteOfTheParameters) {
    using namespace std::string_literals;
    EXPECT_EQ(JavaCommandLine("-a\0-b \"arg\""s), "java.exe -a");
}

}  // namespace
