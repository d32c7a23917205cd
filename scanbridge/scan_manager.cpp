#include "scan_manager.h"

#include <memory>
#include <type_traits>

namespace {

// Polls with nothing found that the drain after a scan allows itself.
constexpr int kDrainBudget = 30;
// Lets the source finish drawing or closing its dialog before the pump goes on.
constexpr DWORD kNotificationPauseMs = 100;
constexpr DWORD kDrainPollPauseMs = 1;
// How often the pump asks the manager for notifications that it announced to
// a window of another thread.
constexpr UINT_PTR kWakeTimer = 1;
constexpr UINT kWakeIntervalMs = 50;

// Never shown: a parent for the manager and the source's dialog, and the
// address of the source's notifications. It belongs to the calling thread.
HWND CreateHiddenWindow(HINSTANCE module) {
    return CreateWindowExA(0, "STATIC", "Acquire Proxy", WS_POPUPWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, module,
                           nullptr);
}

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

}  // namespace

ScanManager::~ScanManager() {
    if (!agent_) return;
    agent_->UnloadManager();
    agent_.reset();
    if (proxy_ != nullptr) DestroyWindow(proxy_);
    proxy_ = nullptr;
}

void ScanManager::Attach(HINSTANCE module, ImageHook hook) {
    module_ = module;
    proxy_ = CreateHiddenWindow(module);
    // Without a window the agent loads nothing and every TWAIN operation
    // answers false, which is what the natives report.
    agent_ = std::make_unique<ScanAgent>(proxy_);
    agent_->SetImageHook(hook);
}

void ScanManager::BeginScan() {
    if (agent_) agent_->ClearStopRequest();
    scanning_ = 1;
}

void ScanManager::LeaveToSystem() {
    if (agent_) agent_->AbandonManager();
    proxy_ = nullptr;
}

bool ScanManager::RunScan(int count) {
    if (!agent_) {
        scanning_ = 0;
        return true;
    }
    // The source posts its notifications to the window it was enabled with,
    // into that window's thread's queue. The proxy window belongs to the
    // thread that loaded the library, which is seldom the one a JVM scans on,
    // so the source gets a window of the pumping thread for this scan. It
    // also gives the thread the queue that a stop request posts to.
    const OwnedWindow window(CreateHiddenWindow(module_));
    agent_->SetSourceWindow(window.get());
    // A stop request sets its flag before it looks for this thread, and the
    // thread is published here before the flag is read: a stop that comes
    // from now on either is seen below or wakes the pump.
    scanThread_ = GetCurrentThreadId();
    // A scan stopped before its source was started does not start it; when
    // the acquisition did not start no notification will ever come, so
    // there is nothing to pump for.
    if (!agent_->StopRequested() && agent_->AcquireWithSettings(count)) {
        // A TWAIN 2 manager wakes an application without a callback with a
        // WM_NULL to the window it was opened with, which belongs to the
        // loading thread, and hands the pending notification over at the
        // next MSG_PROCESSEVENT. The timer's messages give this thread such
        // a request, whatever thread loaded the library.
        SetTimer(window.get(), kWakeTimer, kWakeIntervalMs, nullptr);
        PumpMessages();
        KillTimer(window.get(), kWakeTimer);
    }
    scanning_ = 0;
    if (agent_->IsSourceOpen()) agent_->CloseDataSource();
    scanThread_ = 0;
    agent_->SetSourceWindow(nullptr);
    return true;
}

void ScanManager::Dispatch(MSG& message) {
    if (FilterMessage(message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void ScanManager::PumpMessages() {
    scanning_ = 1;
    // A stop that came while the acquisition started has already posted the
    // message that ends the first wait.
    if (agent_->StopRequested()) scanning_ = 0;
    do {
        bool quit;
        do {
            MSG message;
            const BOOL got = GetMessageA(&message, nullptr, 0, 0);
            // A quit message during a scan is dropped and the scan goes on; a
            // failed wait dispatches nothing.
            quit = got == 0;
            if (got > 0) Dispatch(message);
        } while (scanning_ == 1);
        if (!quit) Drain();
    } while (scanning_ == 1);
}

void ScanManager::Drain() {
    // The source may still post messages of its own while it closes; they
    // are handled here, and the drain ends only after a run of empty polls.
    int budget = kDrainBudget;
    for (;;) {
        MSG message;
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            Dispatch(message);
        } else {
            if (budget == 0) return;
            --budget;
        }
        Sleep(kDrainPollPauseMs);
    }
}

bool ScanManager::FilterMessage(MSG& message) {
    TW_UINT16 notification = MSG_NULL;
    const bool handled = agent_->FilterEvent(&message, &notification);
    switch (notification) {
        case MSG_CLOSEDSREQ:
            scanning_ = 0;
            break;
        case MSG_CLOSEDSOK:
            MessageBoxA(nullptr, "MSG_CLOSEDSOK", "TWAIN", MB_OK);
            break;
        case MSG_XFERREADY:
            scanning_ = 0;
            if (agent_->IsSourceOpen()) agent_->CloseDataSource();
            break;
        default:
            break;
    }
    if (notification != MSG_NULL) Sleep(kNotificationPauseMs);
    return handled;
}

int ScanManager::StopScan() {
    scanning_ = 0;
    if (!agent_ || !agent_->IsSourceOpen()) return 0;
    return agent_->CloseDataSource() ? 1 : 0;
}

int ScanManager::RequestStop() {
    // The scan's own thread is inside TWAIN or about to be, possibly right
    // below this call, in the image hook; closing the source here would cut
    // into its transfer. That thread ends the batch after the current page,
    // or does not start the source at all, its pump sees the cleared flag at
    // its next message, and RunScan closes the source there. The posted
    // message makes sure that next message comes.
    if (agent_) agent_->RequestStop();
    scanning_ = 0;
    const DWORD scanning = scanThread_;
    if (scanning != 0) PostThreadMessageA(scanning, WM_NULL, 0, 0);
    return 1;
}

bool ScanManager::IsScanning() const { return scanning_ != 0; }

int ScanManager::SetShowUI(bool show) {
    if (agent_) agent_->SetShowUI(show);
    return 1;
}

std::string ScanManager::ListSourceNames() {
    return agent_ ? agent_->ListSourceNames() : std::string(1, '\0');
}

bool ScanManager::OpenSourceByName(const char* name) {
    return agent_ && agent_->OpenSourceByName(name);
}

bool ScanManager::PickDefaultSource() { return agent_ && agent_->PickDefaultSource(); }

bool ScanManager::ApplyPixelType(int type) { return agent_ && agent_->ApplyPixelType(type); }

bool ScanManager::ApplyResolution(int x, int y) { return agent_ && agent_->ApplyResolution(x, y); }

bool ScanManager::ApplyDuplex(bool on) { return agent_ && agent_->ApplyDuplex(on); }
