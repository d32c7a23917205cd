// scanbridge.dll through its exports, as the Java application drives it,
// against the test TWAIN manager and a small Java environment of our own.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "fake_jvm.h"
#include "fake_twain.h"
#include "scanbridge_dll.h"

namespace {

constexpr UINT kPostNotificationLater = WM_APP + 1;
constexpr UINT kQueuedAfterReady = WM_APP + 2;
constexpr UINT kQuitThenReady = WM_APP + 3;

// A 24-bit DIB of 3 x 2 pixels; rows of 12 bytes. pixel marks the first one.
std::vector<unsigned char> Dib24(unsigned char pixel) {
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = 3;
    header.biHeight = 2;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::vector<unsigned char> dib(sizeof(header) + 24);
    std::memcpy(dib.data(), &header, sizeof(header));
    for (std::size_t i = sizeof(header); i < dib.size(); ++i)
        dib[i] = static_cast<unsigned char>(i);
    dib[sizeof(header)] = pixel;
    return dib;
}

// The BMP file that the Java side must receive for Dib24(pixel).
std::vector<unsigned char> Bmp24(unsigned char pixel) {
    std::vector<unsigned char> dib = Dib24(pixel);
    const DWORD imageSize = 24;
    std::memcpy(dib.data() + offsetof(BITMAPINFOHEADER, biSizeImage), &imageSize, 4);
    std::vector<unsigned char> bmp = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    bmp.resize(14 + dib.size());
    std::memcpy(bmp.data() + 14, dib.data(), dib.size());
    return bmp;
}

void AddPage(unsigned char pixel, TW_UINT16 pendingAfter) {
    const std::vector<unsigned char> dib = Dib24(pixel);
    FakeTwain_AddImage(dib.data(), static_cast<UINT>(dib.size()), TWRC_XFERDONE, pendingAfter);
}

std::string CapName(TW_UINT16 cap) {
    switch (cap) {
        case CAP_XFERCOUNT:
            return "XFERCOUNT";
        case ICAP_PIXELTYPE:
            return "PIXELTYPE";
        case CAP_DUPLEXENABLED:
            return "DUPLEXENABLED";
        case ICAP_XRESOLUTION:
            return "XRESOLUTION";
        case ICAP_YRESOLUTION:
            return "YRESOLUTION";
        case ICAP_SUPPORTEDSIZES:
            return "SUPPORTEDSIZES";
        default:
            return std::to_string(cap);
    }
}

std::string Name(const FakeTwainRequest& r) {
    const bool image = r.dg == DG_IMAGE;
    switch (r.msg) {
        case MSG_OPENDSM:
            return "OPENDSM";
        case MSG_CLOSEDSM:
            return "CLOSEDSM";
        case MSG_OPENDS:
            return "OPENDS";
        case MSG_CLOSEDS:
            return "CLOSEDS";
        case MSG_ENABLEDS:
            return r.showUI ? "ENABLEDS ui" : "ENABLEDS no-ui";
        case MSG_DISABLEDS:
            return "DISABLEDS";
        case MSG_ENDXFER:
            return "ENDXFER";
        case MSG_RESET:
            return "RESET";
        case MSG_SET:
            return "SET " + CapName(r.cap) + "=" + std::to_string(r.value);
        case MSG_GET:
            if (image) return r.dat == DAT_IMAGEINFO ? "IMAGEINFO" : "NATIVEXFER";
            return r.dat == DAT_STATUS ? "STATUS" : "GET " + CapName(r.cap);
        default:
            return std::to_string(r.dat) + "/" + std::to_string(r.msg);
    }
}

// The requests since the last clear, without the per-message event traffic
// and the status queries that follow every answer but success.
std::vector<std::string> Conversation() {
    std::vector<std::string> names;
    for (UINT i = 0; i < FakeTwain_RequestCount(); ++i) {
        FakeTwainRequest request;
        FakeTwain_GetRequest(i, &request);
        if (request.msg == MSG_PROCESSEVENT || request.dat == DAT_STATUS) continue;
        names.push_back(Name(request));
    }
    return names;
}

bool Sent(const std::string& name) {
    for (const std::string& sent : Conversation()) {
        if (sent == name) return true;
    }
    return false;
}

// Closes every message box of this process with OK and keeps its text.
class MessageBoxWatcher {
public:
    MessageBoxWatcher() : thread_([this] { Watch(); }) {}
    ~MessageBoxWatcher() {
        stop_ = true;
        thread_.join();
    }
    std::vector<std::wstring> texts;
    HWND notifyWindow = nullptr;  // told after each box

private:
    void Watch() {
        while (!stop_) {
            HWND box = FindWindowW(L"#32770", nullptr);
            DWORD process = 0;
            if (box != nullptr) GetWindowThreadProcessId(box, &process);
            if (box != nullptr && process == GetCurrentProcessId()) {
                wchar_t text[256] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 256);
                texts.push_back(text);
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                while (IsWindow(box)) Sleep(10);
                if (notifyWindow != nullptr)
                    PostMessageW(notifyWindow, kPostNotificationLater, 0, 0);
            }
            Sleep(20);
        }
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class ScanEndToEnd : public ::testing::Test {
protected:
    static ScanEndToEnd* current;

    void SetUp() override {
        current = this;
        FakeTwain_Reset();
        FakeTwain_AddSource("Alpha", 5, FALSE);
        FakeTwain_AddSource("Beta", 4, TRUE);
        FakeTwain_AddSource("Sk\xe9ner", 6, FALSE);
        window_ = CreateTestWindow();
    }

    void TearDown() override {
        dll_.reset();
        // Unloading closed the manager and every block came back.
        EXPECT_EQ(FakeTwain_State(), 2u);
        EXPECT_EQ(FakeTwain_LiveBlocks(), 0u);
        EXPECT_EQ(FakeTwain_RepeatedFrees(), 0u);
        EXPECT_EQ(jvm_.violations, std::vector<std::string>{});
        DestroyWindow(window_);
        current = nullptr;
    }

    ScanbridgeDll& Dll() {
        if (!dll_) {
            dll_ = std::make_unique<ScanbridgeDll>("scanbridge.dll");
            EXPECT_TRUE(dll_->Loaded());
        }
        return *dll_;
    }

    // Opens "Beta" and forgets the requests that took.
    void SelectBeta() {
        jstring name = jvm_.NewString(u"Beta");
        ASSERT_EQ(Dll().selectSource(jvm_.Env(), jvm_.Scan(), name), JNI_TRUE);
        FakeTwain_ClearRequests();
    }

    jboolean Scan(jint count) { return Dll().scan(jvm_.Env(), jvm_.Scan(), count); }
    bool IsScanning() { return Dll().isScanning(jvm_.Env(), jvm_.Scan()) == JNI_TRUE; }

    static LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
        if (current != nullptr && message >= WM_APP) {
            current->OnTestMessage(message);
            return 0;
        }
        if (current != nullptr && message == WM_TIMER) {
            KillTimer(window, w);
            FakeTwain_PostNotification(MSG_XFERREADY);
            return 0;
        }
        return DefWindowProcW(window, message, w, l);
    }

    HWND CreateTestWindow() {
        WNDCLASSW type{};
        type.lpfnWndProc = TestWindowProc;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = L"ScanEndToEndWindow";
        RegisterClassW(&type);
        return CreateWindowW(L"ScanEndToEndWindow", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    }

    void OnTestMessage(UINT message) {
        switch (message) {
            case kPostNotificationLater:
                FakeTwain_PostNotification(MSG_XFERREADY);
                break;
            case kQueuedAfterReady:
                queuedSeenScanning_ = IsScanning() ? 1 : 0;
                break;
            case kQuitThenReady:
                // The quit message comes before the timer's, while the scan
                // still waits for its source.
                PostQuitMessage(0);
                SetTimer(window_, 1, 50, nullptr);
                break;
        }
    }

    FakeJvm jvm_;
    std::unique_ptr<ScanbridgeDll> dll_;
    HWND window_ = nullptr;
    int queuedSeenScanning_ = -1;
};

ScanEndToEnd* ScanEndToEnd::current = nullptr;

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
    // Scanning from the pump's start until the source reported ready.
    EXPECT_EQ(scanningAt, (std::vector<bool>{false, true, true, false}));
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
    EXPECT_EQ(Conversation(), std::vector<std::string>{"OPENDS"});
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

TEST_F(ScanEndToEnd, ScanWithoutSelectionOpensTheDefaultSource) {
    AddPage(0xB1, 0);
    FakeTwain_PostNotification(MSG_XFERREADY);
    Dll();
    FakeTwain_ClearRequests();

    EXPECT_EQ(Scan(1), JNI_TRUE);

    EXPECT_EQ(Conversation().front(), "OPENDS");
    ASSERT_EQ(jvm_.pages.size(), 1u);
    EXPECT_EQ(jvm_.pages[0], Bmp24(0xB1));
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

}  // namespace
