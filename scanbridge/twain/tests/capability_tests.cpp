#include <cstring>
#include <functional>

#include "twain_test_support.h"

using Lines = std::vector<std::string>;

using CapabilityTest = TwainTest;

// Every setting needs an open source: with only a default picked (or nothing
// at all) they answer false and nothing reaches the manager.
TEST_F(CapabilityTest, SettingsWithoutAnOpenSourceSendNothing) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    ASSERT_TRUE(agent.PickDefaultSource());
    FakeTwain_ClearRequests();

    TW_UINT32 value = 0;
    EXPECT_FALSE(agent.ApplyPixelType(2));
    EXPECT_FALSE(agent.ApplyResolution(300, 300));
    EXPECT_FALSE(agent.ApplyDuplex(true));
    EXPECT_FALSE(agent.ApplyTransferCount(1));
    EXPECT_FALSE(agent.ApplyCapability(ICAP_PIXELTYPE, 1, false));
    EXPECT_FALSE(agent.ApplyBoolCapability(CAP_DUPLEXENABLED, 1));
    EXPECT_FALSE(agent.QueryCapability(CAP_XFERCOUNT, value));
    EXPECT_EQ(Sent(), Lines{});
}

struct SettingCase {
    const char* title;
    std::function<bool(ScanAgent&)> apply;
    Lines sent;
};

class SettingTest : public TwainTest, public ::testing::WithParamInterface<SettingCase> {};

TEST_P(SettingTest, SendsOneValueContainers) {
    OpenScannerA();

    EXPECT_TRUE(GetParam().apply(Agent()));

    EXPECT_EQ(Sent(), GetParam().sent);
    for (const FakeTwainRequest& request : Recorded()) {
        EXPECT_EQ(request.destination.Id, 100u);
        EXPECT_EQ(request.containerSize, sizeof(TW_ONEVALUE));
        EXPECT_TRUE(request.containerMovable);
    }
    // Each container freed after its request.
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SettingTest,
    ::testing::Values(SettingCase{"PixelType",
                                  [](ScanAgent& a) { return a.ApplyPixelType(2); },
                                  {"ds CONTROL/CAPABILITY/SET PIXELTYPE UINT16 2"}},
                      SettingCase{"DuplexOn",
                                  [](ScanAgent& a) { return a.ApplyDuplex(true); },
                                  {"ds CONTROL/CAPABILITY/SET DUPLEXENABLED BOOL 1"}},
                      SettingCase{"DuplexOff",
                                  [](ScanAgent& a) { return a.ApplyDuplex(false); },
                                  {"ds CONTROL/CAPABILITY/SET DUPLEXENABLED BOOL 0"}},
                      SettingCase{"OneImage",
                                  [](ScanAgent& a) { return a.ApplyTransferCount(1); },
                                  {"ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 1"}},
                      SettingCase{"AllImages",
                                  [](ScanAgent& a) { return a.ApplyTransferCount(-1); },
                                  {"ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 65535"}},
                      SettingCase{"Resolution",
                                  [](ScanAgent& a) { return a.ApplyResolution(300, 600); },
                                  {"ds CONTROL/CAPABILITY/SET XRESOLUTION UINT16 300",
                                   "ds CONTROL/CAPABILITY/SET YRESOLUTION UINT16 600",
                                   "ds CONTROL/CAPABILITY/SET SUPPORTEDSIZES UINT16 1"}},
                      // Above 65535 only the low 16 bits travel.
                      SettingCase{"WidePixelType",
                                  [](ScanAgent& a) { return a.ApplyPixelType(65536 + 5); },
                                  {"ds CONTROL/CAPABILITY/SET PIXELTYPE UINT16 5"}},
                      SettingCase{"WideResolution",
                                  [](ScanAgent& a) { return a.ApplyResolution(70000, 65536); },
                                  {"ds CONTROL/CAPABILITY/SET XRESOLUTION UINT16 4464",
                                   "ds CONTROL/CAPABILITY/SET YRESOLUTION UINT16 0",
                                   "ds CONTROL/CAPABILITY/SET SUPPORTEDSIZES UINT16 1"}},
                      SettingCase{"WideCount",
                                  [](ScanAgent& a) { return a.ApplyTransferCount(65536 + 3); },
                                  {"ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 3"}}),
    [](const ::testing::TestParamInfo<SettingCase>& info) { return info.param.title; });

TEST_F(CapabilityTest, TheSourceKeepsTheValueSet) {
    OpenScannerA();
    ASSERT_TRUE(Agent().ApplyResolution(300, 200));
    TW_UINT16 type = 0;
    TW_UINT32 value = 0;
    ASSERT_TRUE(FakeTwain_GetCapValue(ICAP_YRESOLUTION, &type, &value));
    EXPECT_EQ(type, TWTY_UINT16);
    // As a TW_FIX32: whole part 200, fraction 0.
    TW_FIX32 fix;
    static_assert(sizeof(fix) == sizeof(value), "TW_FIX32 is 32 bits");
    std::memcpy(&fix, &value, sizeof(fix));
    EXPECT_EQ(fix.Whole, 200);
    EXPECT_EQ(fix.Frac, 0);
}

// All three resolution requests go out whatever the earlier ones answered.
struct ResolutionCase {
    const char* title;
    std::vector<TW_UINT16> refused;
    bool answer;
};

class ResolutionTest : public TwainTest, public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(ResolutionTest, AlwaysSendsAllThree) {
    OpenScannerA();
    for (TW_UINT16 cap : GetParam().refused) {
        FakeTwain_SetAnswer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, cap, TWRC_FAILURE, TWCC_BADCAP);
    }

    EXPECT_EQ(Agent().ApplyResolution(300, 300), GetParam().answer);

    Lines sets;
    for (const std::string& line : Sent()) {
        if (line != "ds CONTROL/STATUS/GET") sets.push_back(line);
    }
    EXPECT_EQ(sets, (Lines{"ds CONTROL/CAPABILITY/SET XRESOLUTION UINT16 300",
                           "ds CONTROL/CAPABILITY/SET YRESOLUTION UINT16 300",
                           "ds CONTROL/CAPABILITY/SET SUPPORTEDSIZES UINT16 1"}));
    EXPECT_EQ(Sent().size(), 3 + GetParam().refused.size());
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ResolutionTest,
    ::testing::Values(ResolutionCase{"None", {}, true},
                      ResolutionCase{
                          "BothResolutions", {ICAP_XRESOLUTION, ICAP_YRESOLUTION}, false},
                      ResolutionCase{"OnlyX", {ICAP_XRESOLUTION}, false},
                      ResolutionCase{"OnlyPageSize", {ICAP_SUPPORTEDSIZES}, false}),
    [](const ::testing::TestParamInfo<ResolutionCase>& info) { return info.param.title; });

TEST_F(CapabilityTest, CheckStatusConfirmsTheSourcesOwnCount) {
    OpenScannerA();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, CAP_XFERCOUNT, TWRC_CHECKSTATUS,
                         TWCC_SUCCESS);
    FakeTwain_SetCapValue(CAP_XFERCOUNT, TWTY_INT16, 5);

    EXPECT_TRUE(Agent().ApplyTransferCount(7));

    EXPECT_EQ(Sent(), (Lines{"ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 7", "ds CONTROL/STATUS/GET",
                             "ds CONTROL/CAPABILITY/GET XFERCOUNT DONTCARE16",
                             "ds CONTROL/CAPABILITY/SET XFERCOUNT UINT16 5"}));
    EXPECT_FALSE(Recorded()[2].hasContainer);
    // The container the source handed over was freed too.
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
}

TEST_F(CapabilityTest, CheckStatusWithAnUnreadableCountGivesUp) {
    OpenScannerA();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, CAP_XFERCOUNT, TWRC_CHECKSTATUS,
                         TWCC_SUCCESS);
    FakeTwain_PushAnswer(DG_CONTROL, DAT_CAPABILITY, MSG_GET, CAP_XFERCOUNT, TWRC_FAILURE,
                         TWCC_BADCAP);

    EXPECT_FALSE(Agent().ApplyTransferCount(7));

    EXPECT_EQ(Sent(),
              (Lines{"ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 7", "ds CONTROL/STATUS/GET",
                     "ds CONTROL/CAPABILITY/GET XFERCOUNT DONTCARE16", "ds CONTROL/STATUS/GET"}));
}

class CountRefusalTest : public TwainTest, public ::testing::WithParamInterface<TW_UINT16> {};

TEST_P(CountRefusalTest, IsNotRetried) {
    OpenScannerA();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_CAPABILITY, MSG_SET, CAP_XFERCOUNT, GetParam(),
                         TWCC_BADVALUE);

    EXPECT_FALSE(Agent().ApplyTransferCount(1));

    EXPECT_EQ(Sent(),
              (Lines{"ds CONTROL/CAPABILITY/SET XFERCOUNT INT16 1", "ds CONTROL/STATUS/GET"}));
    EXPECT_EQ(Agent().LastReturnCode(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(ReturnCodes, CountRefusalTest,
                         ::testing::Values(TWRC_FAILURE, TWRC_CANCEL, TWRC_XFERDONE));

TEST_F(CapabilityTest, QueryReadsTheCurrentValue) {
    OpenScannerA();
    FakeTwain_SetCapValue(ICAP_PIXELTYPE, TWTY_UINT16, 0x00012345);
    TW_UINT32 value = 0;
    ASSERT_TRUE(Agent().QueryCapability(ICAP_PIXELTYPE, value));
    EXPECT_EQ(value, 0x00012345u);
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
}

// A source may hand back no container, or one too small to hold a value.
class BadContainerTest : public TwainTest, public ::testing::WithParamInterface<UINT> {};

TEST_P(BadContainerTest, AnswersFalseWithoutReadingPastIt) {
    OpenScannerA();
    FakeTwain_SetFault(GetParam(), TRUE);
    TW_UINT32 value = 77;
    EXPECT_FALSE(Agent().QueryCapability(CAP_XFERCOUNT, value));
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Faults, BadContainerTest,
                         ::testing::Values(FAKE_TWAIN_FAULT_SHORT_CONTAINER,
                                           FAKE_TWAIN_FAULT_NULL_CONTAINER));
