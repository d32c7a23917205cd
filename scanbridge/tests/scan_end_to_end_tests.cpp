// scanbridge.dll through its exports, as the Java application drives it,
// against the test TWAIN manager and a small Java environment of our own.

#include <algorithm>
#include <chrono>

#include "scan_fixture.h"

namespace {

TEST_F(ScanEndToEnd, TypicalScanFromSelectionToTheLastCallback) {
    jobjectArray sources = Dll().getAvailableSources(jvm_.Env(), jvm_.Scan());
    EXPECT_EQ(jvm_.Strings(sources), (std::vector<std::u16string>{u"Alpha", u"Beta", u"Skéner"}));
    jvm_.DeleteLocal(sources);
    SelectBeta();

    EXPECT_EQ(Dll().setDPI(jvm_.Env(), jvm_.Scan(), 300, 300), JNI_TRUE);
    EXPECT_EQ(Dll().setPixelType(jvm_.Env(), jvm_.Scan(), TWPT_RGB), JNI_TRUE);
    EXPECT_EQ(Dll().setDoubleSided(jvm_.Env(), jvm_.Scan(), JNI_TRUE), JNI_TRUE);
    EXPECT_EQ(Dll().setShowUI(jvm_.Env(), jvm_.Scan(), 2), 1);  // only 1 is true

    AddPage(0xA1, 1);
    AddPage(0xA2, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);
    std::vector<bool> scanningAt;
    jvm_.onCallback = [&](const std::string&) { scanningAt.push_back(IsScanning()); };

    EXPECT_EQ(Scan(2), JNI_TRUE);

    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireNewImage",
                                                    "fireNewImage", "fireStopScanning"}));
    // Scanning from the scan's start until the source reported ready.
    EXPECT_EQ(scanningAt, (std::vector<bool>{true, true, true, false}));
    ASSERT_EQ(jvm_.pages.size(), 2u);
    EXPECT_EQ(jvm_.pages[0], Bmp24(0xA1));
    EXPECT_EQ(jvm_.pages[1], Bmp24(0xA2));
    EXPECT_EQ(jvm_.LiveLocalReferences(), 0);
    EXPECT_EQ(
        Conversation(),
        (std::vector<std::string>{
            "SET XRESOLUTION=300", "SET YRESOLUTION=300", "SET SUPPORTEDSIZES=1", "SET PIXELTYPE=2",
            "SET DUPLEXENABLED=1", "SET XFERCOUNT=2", "ENABLEDS no-ui", "IMAGEINFO", "NATIVEXFER",
            "ENDXFER", "IMAGEINFO", "NATIVEXFER", "ENDXFER", "DISABLEDS", "CLOSEDS"}));
    EXPECT_EQ(FakeTwain_State(), 3u);

    // The scan closed the source: settings wait for a new selection.
    EXPECT_EQ(Dll().setPixelType(jvm_.Env(), jvm_.Scan(), TWPT_GRAY), JNI_FALSE);
}

TEST_F(ScanEndToEnd, ScanThatCannotStartComesBackWithoutPumping) {
    FakeTwain_SetAnswer(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, FAKE_TWAIN_ANY_CAP, TWRC_FAILURE,
                        TWCC_NODS);
    Dll();
    FakeTwain_ClearRequests();

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
    EXPECT_EQ(Conversation(), (std::vector<std::string>{"GETDEFAULT", "OPENDS"}));
    EXPECT_FALSE(IsScanning());
}

TEST_F(ScanEndToEnd, RefusedEnableClosesTheSourceAndComesBack) {
    SelectBeta();
    FakeTwain_SetAnswer(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, FAKE_TWAIN_ANY_CAP,
                        TWRC_FAILURE, TWCC_BUMMER);

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(Conversation(),
              (std::vector<std::string>{"SET XFERCOUNT=1", "ENABLEDS ui", "CLOSEDS"}));
    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
}

// Like Wine's manager, this one refuses to open an empty identity: the
// default source is looked up by name first.
TEST_F(ScanEndToEnd, ScanWithoutSelectionOpensTheDefaultSource) {
    FakeTwain_SetFault(FAKE_TWAIN_FAULT_REFUSE_EMPTY_OPEN, TRUE);
    AddPage(0xB1, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);
    Dll();
    FakeTwain_ClearRequests();

    EXPECT_EQ(Scan(1), JNI_TRUE);

    const std::vector<std::string> sent = Conversation();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 3),
              (std::vector<std::string>{"GETDEFAULT", "OPENDS", "SET XFERCOUNT=1"}));
    ASSERT_EQ(jvm_.pages.size(), 1u);
    EXPECT_EQ(jvm_.pages[0], Bmp24(0xB1));
}

// The way gphoto2.ds hands its pages over: the same BMP file reaches Java,
// with the rows' padding as GetDIBits leaves it, zero.
TEST_F(ScanEndToEnd, PagesHandedOverAsBitmapsArriveLikeAnyPage) {
    SelectBeta();
    AddPage(0xD1, 1);
    FakeTwain_SetImageForm(FAKE_TWAIN_FORM_BITMAP);
    AddPage(0xD2, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);

    EXPECT_EQ(Scan(2), JNI_TRUE);

    ASSERT_EQ(jvm_.pages.size(), 2u);
    std::vector<unsigned char> unpadded = Bmp24(0xD1);
    for (std::size_t row = 0; row < 2; ++row) {
        std::fill_n(unpadded.begin() + 54 + 12 * row + 9, 3, 0);
    }
    EXPECT_EQ(jvm_.pages[0], unpadded);
    EXPECT_EQ(jvm_.pages[1], Bmp24(0xD2));
}

TEST_F(ScanEndToEnd, QuitMessageDuringAScanIsSwallowed) {
    SelectBeta();
    AddPage(0xC1, 0);
    PostMessageW(window_, kQuitThenReady, 0, 0);

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(jvm_.pages.size(), 1u);
    MSG left;
    EXPECT_FALSE(PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(ScanEndToEnd, DrainAfterReadyHandlesWhatIsQueuedWithScanningAlreadyOff) {
    SelectBeta();
    AddPage(0xD1, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);
    jvm_.onCallback = [&](const std::string& method) {
        if (method == "fireNewImage") PostMessageW(window_, kQueuedAfterReady, 0, 0);
    };

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Scan(1), JNI_TRUE);
    const auto took = std::chrono::steady_clock::now() - start;

    EXPECT_EQ(queuedSeenScanning_, 0);
    // The pause after the notification and the drain's 31 empty polls.
    EXPECT_GE(took, std::chrono::milliseconds(100 + 31));
}

TEST_F(ScanEndToEnd, ClosedsOkShowsItsBoxAndTheScanGoesOn) {
    SelectBeta();
    AddPage(0xE1, 0);
    FakeTwain_PostNotification(MSG_CLOSEDSOK);
    MessageBoxWatcher watcher;
    // The box's own loop would take the next notification past the source,
    // so it is sent once the box is gone.
    watcher.notifyWindow = window_;

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(watcher.texts, std::vector<std::wstring>{L"MSG_CLOSEDSOK"});
    EXPECT_EQ(jvm_.pages.size(), 1u);
}

TEST_F(ScanEndToEnd, CloseRequestOfTheSourceEndsTheScan) {
    SelectBeta();
    FakeTwain_PostNotification(MSG_CLOSEDSREQ);

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(Conversation(),
              (std::vector<std::string>{"SET XFERCOUNT=1", "ENABLEDS ui", "DISABLEDS", "CLOSEDS"}));
    EXPECT_TRUE(jvm_.pages.empty());
}

TEST_F(ScanEndToEnd, StopWithoutSourceAnswersZeroAndClearsTheFlag) {
    EXPECT_EQ(Dll().stopScanning(jvm_.Env(), jvm_.Scan()), 0);
    EXPECT_FALSE(IsScanning());
    SelectBeta();
    EXPECT_EQ(Dll().stopScanning(jvm_.Env(), jvm_.Scan()), 1);
    EXPECT_EQ(Conversation(), std::vector<std::string>{"CLOSEDS"});
}

TEST_F(ScanEndToEnd, StopFromAnotherThreadEndsAScanWhoseSourceStaysSilent) {
    SelectBeta();
    jint stopAnswer = -1;
    std::thread stopper([&] {
        while (!IsScanning()) Sleep(5);
        Sleep(100);
        stopAnswer = Dll().stopScanning(jvm_.Env(), jvm_.Scan());
    });

    EXPECT_EQ(Scan(1), JNI_TRUE);
    stopper.join();

    EXPECT_EQ(stopAnswer, 1);
    EXPECT_FALSE(IsScanning());
    // Closed by the scanning thread, in TWAIN's order.
    EXPECT_EQ(Conversation(),
              (std::vector<std::string>{"SET XFERCOUNT=1", "ENABLEDS ui", "DISABLEDS", "CLOSEDS"}));
    EXPECT_EQ(jvm_.calls, (std::vector<std::string>{"fireStartScanning", "fireStopScanning"}));
}

TEST_F(ScanEndToEnd, CallbackExceptionsAreClearedAndTheScanGoesOn) {
    SelectBeta();
    AddPage(0xF1, 1);
    AddPage(0xF2, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);
    jvm_.throwingMethods = {"fireStartScanning", "fireNewImage", "fireStopScanning"};

    EXPECT_EQ(Scan(2), JNI_TRUE);

    EXPECT_EQ(jvm_.pages.size(), 2u);
    EXPECT_EQ(jvm_.described.size(), 4u);
    EXPECT_TRUE(jvm_.pending.empty());
}

TEST_F(ScanEndToEnd, MissingCallbacksAreNeverCalled) {
    SelectBeta();
    AddPage(0xF3, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);
    jvm_.missingMethods = {"fireStartScanning", "fireNewImage"};

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(jvm_.calls, std::vector<std::string>{"fireStopScanning"});
    EXPECT_EQ(jvm_.described.size(), 2u);
    EXPECT_TRUE(Sent("CLOSEDS"));
}

TEST_F(ScanEndToEnd, PageTheHeapCannotHoldIsLostAndTheNextArrives) {
    SelectBeta();
    AddPage(0xF4, 1);
    AddPage(0xF5, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);
    jvm_.failingByteArrays = 1;

    EXPECT_EQ(Scan(2), JNI_TRUE);

    ASSERT_EQ(jvm_.pages.size(), 1u);
    EXPECT_EQ(jvm_.pages[0], Bmp24(0xF5));
    EXPECT_EQ(jvm_.calls.back(), "fireStopScanning");
}

TEST_F(ScanEndToEnd, NamesThatAreNotAsciiWorkBothWays) {
    jstring name = jvm_.NewString(u"Skéner");
    EXPECT_EQ(Dll().selectSource(jvm_.Env(), jvm_.Scan(), name), JNI_TRUE);
    EXPECT_EQ(FakeTwain_State(), 4u);
    // Letter case matters; an unknown name leaves the open source open.
    EXPECT_EQ(Dll().selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(u"SKÉNER")), JNI_FALSE);
    EXPECT_EQ(FakeTwain_State(), 4u);
}

TEST_F(ScanEndToEnd, DefaultSelectionOpensNothing) {
    Dll();
    FakeTwain_ClearRequests();
    EXPECT_EQ(Dll().selectDefaultSource(jvm_.Env(), jvm_.Scan(), 12345), JNI_TRUE);
    EXPECT_EQ(FakeTwain_State(), 3u);
    EXPECT_EQ(Dll().setDPI(jvm_.Env(), jvm_.Scan(), 300, 300), JNI_FALSE);
}

TEST_F(ScanEndToEnd, SelectingTheOpenSourceAgainKeepsItForTheScan) {
    SelectBeta();
    // The manager refuses to open a source twice; the one that is open is
    // still the one that is set up and scanned.
    EXPECT_EQ(Dll().selectSource(jvm_.Env(), jvm_.Scan(), jvm_.NewString(u"Beta")), JNI_FALSE);
    EXPECT_EQ(Dll().setDPI(jvm_.Env(), jvm_.Scan(), 300, 300), JNI_TRUE);
    AddPage(0xD7, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);

    EXPECT_EQ(Scan(1), JNI_TRUE);

    ASSERT_EQ(jvm_.pages.size(), 1u);
    EXPECT_EQ(jvm_.pages[0], Bmp24(0xD7));
    EXPECT_EQ(FakeTwain_State(), 3u);
}

}  // namespace
