#pragma once

// The fixture of the end-to-end tests: scanbridge.dll loaded as a JVM loads
// it, the test TWAIN manager with three sources, a window of the test thread
// for scripted messages, and the requests in a short readable form.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capability_names.h"
#include "fake_jvm.h"
#include "fake_twain.h"
#include "scanbridge_dll.h"

inline constexpr UINT kPostNotificationLater = WM_APP + 1;
inline constexpr UINT kQueuedAfterReady = WM_APP + 2;
inline constexpr UINT kQuitThenReady = WM_APP + 3;

// A 24-bit DIB of 3 x 2 pixels; rows of 12 bytes. pixel marks the first one.
inline std::vector<unsigned char> Dib24(unsigned char pixel) {
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
inline std::vector<unsigned char> Bmp24(unsigned char pixel) {
    std::vector<unsigned char> dib = Dib24(pixel);
    const DWORD imageSize = 24;
    std::memcpy(dib.data() + offsetof(BITMAPINFOHEADER, biSizeImage), &imageSize, 4);
    std::vector<unsigned char> bmp = {'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
    bmp.resize(14 + dib.size());
    std::memcpy(bmp.data() + 14, dib.data(), dib.size());
    return bmp;
}

inline void AddPage(unsigned char pixel, TW_UINT16 pendingAfter) {
    const std::vector<unsigned char> dib = Dib24(pixel);
    FakeTwain_AddImage(dib.data(), static_cast<UINT>(dib.size()), TWRC_XFERDONE, pendingAfter);
}

inline std::string Name(const FakeTwainRequest& r) {
    const bool image = r.dg == DG_IMAGE;
    switch (r.msg) {
        case MSG_OPENDSM:
            return "OPENDSM";
        case MSG_CLOSEDSM:
            return "CLOSEDSM";
        case MSG_GETDEFAULT:
            return "GETDEFAULT";
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
inline std::vector<std::string> Conversation() {
    std::vector<std::string> names;
    for (UINT i = 0; i < FakeTwain_RequestCount(); ++i) {
        FakeTwainRequest request;
        FakeTwain_GetRequest(i, &request);
        if (request.msg == MSG_PROCESSEVENT || request.dat == DAT_STATUS) continue;
        names.push_back(Name(request));
    }
    return names;
}

inline bool Sent(const std::string& name) {
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
            // A box is found while it is being built, before its text is set;
            // it is shown only once it is complete.
            if (box != nullptr && process == GetCurrentProcessId() && IsWindowVisible(box)) {
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
    static inline ScanEndToEnd* current = nullptr;

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
        EXPECT_EQ(FakeTwain_LiveBitmaps(), 0u);
        EXPECT_EQ(FakeTwain_ForeignFrees(), 0u);
        EXPECT_EQ(FakeTwain_ForeignDeletes(), 0u);
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
