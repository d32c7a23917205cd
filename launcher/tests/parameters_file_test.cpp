#include "parameters_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* name;
    std::string bytes;
    std::string parameters;
};

class ParametersFromBytesTest : public testing::TestWithParam<Case> {};

TEST_P(ParametersFromBytesTest, JoinsLinesByTheFileRules) {
    EXPECT_EQ(ParametersFromBytes(GetParam().bytes), GetParam().parameters);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Files, ParametersFromBytesTest,
    testing::Values(
        Case{"Empty", "", ""},
        Case{"OneLineWithoutLineEnd", "-Xmx512m -jar app.jar", "-Xmx512m -jar app.jar"},
        Case{"OneLineWithLineEnd", "-jar app.jar\r\n", "-jar app.jar"},
        Case{"LinesJoinedWithNothingBetween", "-cp x\n.jar\n", "-cp x.jar"},
        Case{"BlanksCarriedByTheLines", "-Xmx512m \r\n-jar app.jar", "-Xmx512m -jar app.jar"},
        Case{"LoneCrDropped", "-a\rb\r\n-c", "-ab-c"}, Case{"CrCrLf", "-a\r\r\nb", "-ab"},
        Case{"EmptyLinesAddNothing", "\n\r\n-a\n\n", "-a"},
        Case{"CtrlZInsideALineEndsTheText",
             "-a\nb\x1A"
             "c\nd",
             "-ab"},
        Case{"CtrlZAtTheStart", "\x1A-a", ""}, Case{"BlanksAndTabsKept", "  -a\t \n", "  -a\t "},
        Case{"HighBytesKept", "-Dn\xE1zev=\x9A\n", "-Dn\xE1zev=\x9A"},
        Case{"ZeroByteKeptForTheCommandLineToEndAt", "-a\0b\n-c"s, "-a\0b-c"s}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
