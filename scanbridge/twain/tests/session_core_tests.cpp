#include <cstring>
#include <functional>

#include "twain_test_support.h"

using Lines = std::vector<std::string>;

namespace {

TW_IDENTITY ExpectedApplication() {
    TW_IDENTITY id{};
    id.Version.MajorNum = 3;
    id.Version.MinorNum = 5;
    id.Version.Language = 13;
    id.Version.Country = 1;
    std::memcpy(id.Version.Info, "3.5", 3);
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 8;
    id.SupportedGroups = 3;
    std::memcpy(id.Manufacturer, "TELVA", 5);
    std::memcpy(id.ProductFamily, "Generic", 7);
    std::memcpy(id.ProductName, "Skenovac\xED agent Plamix", 22);
    return id;
}

std::string Names(std::initializer_list<std::string> names) {
    std::string list;
    for (const std::string& name : names) list += name + '\0';
    return list + '\0';
}

}  // namespace

using SessionCoreTest = TwainTest;

TEST_F(SessionCoreTest, LoadingOpensTheManagerWithTheApplicationIdentity) {
    ScanAgent& agent = Agent();

    EXPECT_TRUE(agent.IsDriverLoaded());
    EXPECT_TRUE(agent.IsManagerOpen());
    EXPECT_FALSE(agent.IsSourceOpen());
    ASSERT_EQ(Sent(), Lines{"dsm CONTROL/PARENT/OPENDSM"});
    const FakeTwainRequest open = Recorded()[0];
    EXPECT_EQ(open.window, window_);
    // Every byte counts: unnamed ones must be zero.
    const TW_IDENTITY expected = ExpectedApplication();
    EXPECT_EQ(std::memcmp(&open.origin, &expected, sizeof(expected)), 0);
    EXPECT_EQ(FakeTwain_State(), 3u);
}

TEST_F(SessionCoreTest, AnInvalidParentWindowLoadsNothing) {
    HWND gone = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    for (HWND parent : {HWND{nullptr}, gone}) {
        ScanAgent agent(parent);
        EXPECT_FALSE(agent.IsDriverLoaded());
        EXPECT_FALSE(agent.LoadManager(parent));
        EXPECT_FALSE(agent.OpenSourceByName("Scanner A"));
        EXPECT_EQ(agent.ListSourceNames(), std::string(1, '\0'));
    }
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(SessionCoreTest, LoadingTwiceSendsNothingMore) {
    Agent();
    FakeTwain_ClearRequests();
    EXPECT_TRUE(Agent().LoadManager(window_));
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(SessionCoreTest, ARefusedManagerStillCountsAsLoadedButOpensNoSource) {
    FakeTwain_SetAnswer(DG_CONTROL, DAT_PARENT, MSG_OPENDSM, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                        TWCC_BUMMER);
    InstallTwoSources();
    ScanAgent& agent = Agent();

    EXPECT_TRUE(agent.IsDriverLoaded());
    EXPECT_FALSE(agent.IsManagerOpen());
    EXPECT_EQ(agent.Status().ConditionCode, TWCC_BUMMER);
    FakeTwain_ClearRequests();
    EXPECT_FALSE(agent.OpenDataSource());
    EXPECT_EQ(Sent(), Lines{});
    // Unloading closes nothing that never opened.
    agent.UnloadManager();
    EXPECT_EQ(Sent(), Lines{});
}

// Any answer but success leaves a condition with the manager; the status
// query follows it at once, to the same destination, and only then.
struct StatusCase {
    TW_UINT16 returnCode;
    bool expectStatus;
};

class StatusQueryTest : public TwainTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusQueryTest, FollowsEveryAnswerButSuccess) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();
    FakeTwain_SetAnswer(DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, FAKE_TWAIN_ANY_CAP,
                        GetParam().returnCode, TWCC_OPERATIONERROR);

    EXPECT_EQ(agent.PickDefaultSource(), GetParam().returnCode == TWRC_SUCCESS);

    EXPECT_EQ(agent.LastReturnCode(), GetParam().returnCode);
    if (GetParam().expectStatus) {
        EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/GETDEFAULT", "dsm CONTROL/STATUS/GET"}));
        EXPECT_EQ(agent.Status().ConditionCode, TWCC_OPERATIONERROR);
    } else {
        EXPECT_EQ(Sent(), Lines{"dsm CONTROL/IDENTITY/GETDEFAULT"});
    }
}

INSTANTIATE_TEST_SUITE_P(
    ReturnCodes, StatusQueryTest,
    ::testing::Values(StatusCase{TWRC_SUCCESS, false}, StatusCase{TWRC_FAILURE, true},
                      StatusCase{TWRC_CHECKSTATUS, true}, StatusCase{TWRC_CANCEL, true},
                      StatusCase{TWRC_DSEVENT, true}, StatusCase{TWRC_NOTDSEVENT, true},
                      StatusCase{TWRC_XFERDONE, true}, StatusCase{TWRC_ENDOFLIST, true}));

TEST_F(SessionCoreTest, ListingWalksTheSourcesUntilTheEndOfTheList) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();

    EXPECT_EQ(agent.ListSourceNames(), Names({"Scanner A", "Scanner B"}));
    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/GETFIRST", "dsm CONTROL/IDENTITY/GETNEXT",
                             "dsm CONTROL/IDENTITY/GETNEXT", "dsm CONTROL/STATUS/GET"}));
    EXPECT_EQ(agent.LastReturnCode(), TWRC_ENDOFLIST);
}

struct ListingCase {
    const char* title;
    std::vector<std::string> installed;  // raw ProductName bytes, up to 34
    std::string expected;
};

class ListingTest : public TwainTest, public ::testing::WithParamInterface<ListingCase> {};

TEST_P(ListingTest, NamesEachFollowedByAZeroAndOneMore) {
    for (const std::string& name : GetParam().installed) {
        FakeTwain_AddSource(name.data(), static_cast<UINT>(name.size()), FALSE);
    }
    EXPECT_EQ(Agent().ListSourceNames(), GetParam().expected);
}

const std::string k34(34, 'N');

INSTANTIATE_TEST_SUITE_P(
    Sources, ListingTest,
    ::testing::Values(
        ListingCase{"None", {}, std::string(1, '\0')},
        ListingCase{"One", {"HP ScanJet"}, Names({"HP ScanJet"})},
        ListingCase{"Three", {"A", "B b", "\xC8tec\xEDk"}, Names({"A", "B b", "\xC8tec\xEDk"})},
        // A full field without its zero: exactly its 34 bytes, nothing after.
        ListingCase{"Unterminated", {k34, "Next"}, Names({k34, "Next"})}),
    [](const ::testing::TestParamInfo<ListingCase>& info) { return info.param.title; });

struct ByNameCase {
    const char* title;
    std::string wanted;
    bool opens;
};

class OpenByNameTest : public TwainTest, public ::testing::WithParamInterface<ByNameCase> {};

TEST_P(OpenByNameTest, ComparesByteForByte) {
    InstallTwoSources();
    const TW_UINT32 fullId = FakeTwain_AddSource(k34.data(), 34, FALSE);
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();

    EXPECT_EQ(agent.OpenSourceByName(GetParam().wanted.c_str()), GetParam().opens);

    EXPECT_EQ(agent.IsSourceOpen(), GetParam().opens);
    const Lines sent = Sent();
    ASSERT_FALSE(sent.empty());
    if (GetParam().opens) {
        EXPECT_EQ(sent.back(), "dsm CONTROL/IDENTITY/OPENDS");
        const TW_UINT32 expectedId = GetParam().wanted == k34 ? fullId : 101;
        EXPECT_EQ(agent.SourceIdentity().Id, expectedId);
    } else {
        // The whole list walked, nothing opened.
        EXPECT_EQ(sent.back(), "dsm CONTROL/STATUS/GET");
        EXPECT_EQ(Recorded()[sent.size() - 2].msg, MSG_GETNEXT);
        EXPECT_EQ(FakeTwain_State(), 3u);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, OpenByNameTest,
                         ::testing::Values(ByNameCase{"Exact", "Scanner B", true},
                                           ByNameCase{"OtherLetterCase", "scanner b", false},
                                           ByNameCase{"Prefix", "Scanner", false},
                                           ByNameCase{"TrailingSpace", "Scanner B ", false},
                                           ByNameCase{"Empty", "", false},
                                           ByNameCase{"FullFieldWithoutZero", k34, true},
                                           ByNameCase{"LongerThanTheField", k34 + "N", false}),
                         [](const ::testing::TestParamInfo<ByNameCase>& info) {
                             return info.param.title;
                         });

TEST_F(SessionCoreTest, ARefusedSecondOpenKeepsTheOpenSourceInHand) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    ASSERT_TRUE(agent.OpenSourceByName("Scanner A"));
    const TW_UINT32 openId = agent.SourceIdentity().Id;

    struct Attempt {
        const char* title;
        std::function<bool()> open;
    };
    const Attempt attempts[] = {
        {"the same source again", [&] { return agent.OpenDataSource(nullptr); }},
        {"the same source by name", [&] { return agent.OpenSourceByName("Scanner A"); }},
        {"another source", [&] { return agent.OpenSourceByName("Scanner B"); }},
    };
    for (const Attempt& attempt : attempts) {
        SCOPED_TRACE(attempt.title);
        FakeTwain_ClearRequests();
        EXPECT_FALSE(attempt.open());
        EXPECT_EQ(Sent().back(), "dsm CONTROL/STATUS/GET");
        EXPECT_TRUE(agent.IsSourceOpen());
        EXPECT_EQ(agent.SourceIdentity().Id, openId);
    }
    // The session can still close what the manager holds open.
    FakeTwain_ClearRequests();
    EXPECT_TRUE(agent.CloseDataSource());
    EXPECT_EQ(FakeTwain_State(), 3u);
}

// A scan without a selection must not retry a source that refused to open.
TEST_F(SessionCoreTest, ARefusedOpenByNameLeavesTheIdentityAsItWas) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                         TWCC_OPERATIONERROR);
    EXPECT_FALSE(agent.OpenSourceByName("Scanner B"));
    const TW_IDENTITY empty{};
    EXPECT_EQ(std::memcmp(&agent.SourceIdentity(), &empty, sizeof empty), 0);

    FakeTwain_ClearRequests();
    EXPECT_TRUE(agent.OpenCurrentOrDefaultSource());
    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/GETDEFAULT", "dsm CONTROL/IDENTITY/OPENDS"}));
    EXPECT_EQ(agent.SourceIdentity().Id, 100u);
}

TEST_F(SessionCoreTest, DefaultSourceIsOpenedThroughTheIdentityItWrote) {
    InstallTwoSources();
    FakeTwain_AddSource("Scanner C", 9, TRUE);
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();

    ASSERT_TRUE(agent.PickDefaultSource());
    EXPECT_EQ(agent.SourceIdentity().Id, 102u);
    EXPECT_FALSE(agent.IsSourceOpen());
    ASSERT_TRUE(agent.OpenDataSource(nullptr));

    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/GETDEFAULT", "dsm CONTROL/IDENTITY/OPENDS"}));
    EXPECT_EQ(std::string(agent.SourceIdentity().ProductName), "Scanner C");
}

TEST_F(SessionCoreTest, AZeroIdentityAsksTheManagerForItsDefault) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    ASSERT_TRUE(agent.OpenDataSource(nullptr));
    EXPECT_EQ(agent.SourceIdentity().Id, 100u);
}

TEST_F(SessionCoreTest, ASourceChosenByNameIsReopenedAfterClosing) {
    OpenScannerA();
    ScanAgent& agent = Agent();
    ASSERT_TRUE(agent.CloseDataSource());
    ASSERT_TRUE(agent.OpenDataSource(nullptr));
    EXPECT_EQ(std::string(agent.SourceIdentity().ProductName), "Scanner A");
    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/CLOSEDS", "dsm CONTROL/IDENTITY/OPENDS"}));
}

TEST_F(SessionCoreTest, RefusalsSendNothing) {
    InstallTwoSources();
    ScanAgent& agent = Agent();
    FakeTwain_ClearRequests();

    EXPECT_FALSE(agent.CloseDataSource());
    EXPECT_FALSE(agent.StartSource(true));
    EXPECT_FALSE(agent.StopSource());
    EXPECT_EQ(Sent(), Lines{});

    ASSERT_TRUE(agent.OpenDataSource(nullptr));
    EXPECT_FALSE(agent.StopSource());
    ASSERT_TRUE(agent.StartSource(true));
    FakeTwain_ClearRequests();
    EXPECT_FALSE(agent.StartSource(true));
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(SessionCoreTest, EnablingHandsOverTheDialogFlagAndTheParent) {
    for (bool show : {true, false}) {
        FakeTwain_Reset();
        agent_.reset();
        OpenScannerA();
        ASSERT_TRUE(Agent().StartSource(show));
        EXPECT_TRUE(Agent().IsSourceEnabled());
        ASSERT_EQ(Sent(), Lines{"ds CONTROL/USERINTERFACE/ENABLEDS"});
        const FakeTwainRequest enable = Recorded()[0];
        EXPECT_EQ(enable.showUI, show ? TRUE : FALSE);
        EXPECT_EQ(enable.window, window_);
        EXPECT_EQ(enable.destination.Id, 100u);
    }
}

// The source posts its notifications to the window it was enabled with, which
// the scan chooses; disabling names the same window again.
TEST_F(SessionCoreTest, ASourceWindowReplacesTheParentUntilItIsTakenAway) {
    OpenScannerA();
    ScanAgent& agent = Agent();
    HWND scanWindow = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
    agent.SetSourceWindow(scanWindow);
    ASSERT_TRUE(agent.StartSource(false));
    agent.SetSourceWindow(nullptr);
    ASSERT_TRUE(agent.StopSource());
    ASSERT_TRUE(agent.StartSource(false));

    const std::vector<FakeTwainRequest> requests = Recorded();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].window, scanWindow);
    EXPECT_EQ(requests[1].msg, MSG_DISABLEDS);
    EXPECT_EQ(requests[1].window, scanWindow);
    EXPECT_EQ(requests[2].window, window_);
    DestroyWindow(scanWindow);
}

TEST_F(SessionCoreTest, ARefusedEnableLeavesTheSourceDisabled) {
    OpenScannerA();
    FakeTwain_SetAnswer(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, FAKE_TWAIN_ANY_CAP,
                        TWRC_FAILURE, TWCC_BUMMER);
    EXPECT_FALSE(Agent().StartSource(true));
    EXPECT_FALSE(Agent().IsSourceEnabled());
}

TEST_F(SessionCoreTest, ClosingWalksBackThroughTheStates) {
    OpenScannerA();
    ScanAgent& agent = Agent();
    ASSERT_TRUE(agent.StartSource(false));
    FakeTwain_ClearRequests();

    agent.UnloadManager();

    EXPECT_EQ(Sent(), (Lines{"ds CONTROL/USERINTERFACE/DISABLEDS", "dsm CONTROL/IDENTITY/CLOSEDS",
                             "dsm CONTROL/PARENT/CLOSEDSM"}));
    EXPECT_EQ(Recorded()[2].window, window_);
    EXPECT_FALSE(agent.IsDriverLoaded());
    EXPECT_FALSE(agent.IsSourceOpen());
    EXPECT_EQ(FakeTwain_State(), 2u);

    FakeTwain_ClearRequests();
    agent.UnloadManager();
    agent_.reset();
    EXPECT_EQ(Sent(), Lines{});
}

TEST_F(SessionCoreTest, DestroyingTheAgentClosesEverything) {
    OpenScannerA();
    agent_.reset();
    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/CLOSEDS", "dsm CONTROL/PARENT/CLOSEDSM"}));
}

// A source that refuses to be disabled but then closes is closed, and so no
// longer enabled: the next acquisition must be able to enable it again.
TEST_F(SessionCoreTest, AClosedSourceIsNoLongerEnabledEvenIfDisablingFailed) {
    OpenScannerA();
    ScanAgent& agent = Agent();
    ASSERT_TRUE(agent.StartSource(false));
    FakeTwain_PushAnswer(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, FAKE_TWAIN_ANY_CAP,
                         TWRC_FAILURE, TWCC_BUMMER);
    // The manager's own close request would fail in the enabled state; this
    // source closes regardless.
    FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, FAKE_TWAIN_ANY_CAP, TWRC_SUCCESS,
                         TWCC_SUCCESS);

    ASSERT_TRUE(agent.CloseDataSource());
    EXPECT_FALSE(agent.IsSourceEnabled());

    // Nothing more goes to the closed source, and it can be enabled again.
    FakeTwain_ClearRequests();
    MSG message{};
    TW_UINT16 notification = MSG_CLOSEDSOK;
    EXPECT_FALSE(agent.FilterEvent(&message, &notification));
    EXPECT_EQ(notification, MSG_NULL);
    EXPECT_EQ(Sent(), Lines{});
    FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, FAKE_TWAIN_ANY_CAP, TWRC_SUCCESS,
                         TWCC_SUCCESS);
    FakeTwain_PushAnswer(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, FAKE_TWAIN_ANY_CAP,
                         TWRC_SUCCESS, TWCC_SUCCESS);
    ASSERT_TRUE(agent.OpenDataSource(nullptr));
    EXPECT_TRUE(agent.StartSource(false));
}

// A refused close leaves the source open, so the manager could not be closed
// after it; the session keeps it open and the next close asks again.
TEST_F(SessionCoreTest, ACloseThatFailsIsAskedAgainByTheNextClose) {
    OpenScannerA();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                         TWCC_BUMMER);
    EXPECT_FALSE(Agent().CloseDataSource());
    EXPECT_TRUE(Agent().IsSourceOpen());

    EXPECT_TRUE(Agent().CloseDataSource());
    EXPECT_FALSE(Agent().IsSourceOpen());
    EXPECT_EQ(Sent(), (Lines{"dsm CONTROL/IDENTITY/CLOSEDS", "dsm CONTROL/STATUS/GET",
                             "dsm CONTROL/IDENTITY/CLOSEDS"}));
    EXPECT_EQ(FakeTwain_State(), 3u);
}

// A manager that no longer knows the source has closed it, whatever it
// answered; asking again could never succeed.
TEST_F(SessionCoreTest, ACloseOfASourceTheManagerDoesNotKnowMarksItClosed) {
    OpenScannerA();
    FakeTwain_PushAnswer(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                         TWCC_NODS);
    EXPECT_FALSE(Agent().CloseDataSource());
    EXPECT_FALSE(Agent().IsSourceOpen());
}
