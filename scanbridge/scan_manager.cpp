#include "scan_manager.h"

namespace {

// Polls with nothing found that the drain after a scan allows itself.
constexpr int kDrainBudget = 30;
// Lets the source finish drawing or closing its dialog before the pump goes on.
constexpr DWORD kNotificationPauseMs = 100;
constexpr DWORD kDrainPollPauseMs = 1;

}  // namespace

ScanManager::~ScanManager() {
    if (!agent_) return;
    agent_->UnloadManager();
    agent_.reset();
    if (proxy_ != nullptr) DestroyWindow(proxy_);
    proxy_ = nullptr;
}

void ScanManager::Attach(HINSTANCE module, ImageHook hook) {
    // Only a parent for the manager and the source's dialog; never shown.
    proxy_ =
        CreateWindowExA(0, "STATIC", "Acquire Proxy", WS_POPUPWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, module, nullptr);
    // Without a window the agent loads nothing and every TWAIN operation
    // answers false, which is what the natives report.
    agent_ = std::make_unique<ScanAgent>(proxy_);
    agent_->SetImageHook(hook);
}

bool ScanManager::RunScan(int count) {
    if (!agent_) return true;
    // When the acquisition did not start no notification will ever come, so
    // there is nothing to pump for.
    if (agent_->AcquireWithSettings(count)) PumpMessages();
    if (agent_->IsSourceOpen()) agent_->CloseDataSource();
    return true;
}

void ScanManager::Dispatch(MSG& message) {
    if (FilterMessage(message)) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

void ScanManager::PumpMessages() {
    pumpThread_ = GetCurrentThreadId();
    scanning_ = 1;
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
    pumpThread_ = 0;
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
    const DWORD pumping = pumpThread_;
    if (pumping != 0) {
        // The scan's own thread is inside TWAIN or about to be; closing the
        // source here would race with it. The pump sees the cleared flag at
        // its next message, and RunScan closes the source on that thread.
        // The posted message makes sure that next message comes.
        PostThreadMessageA(pumping, WM_NULL, 0, 0);
        return 1;
    }
    if (!agent_ || !agent_->IsSourceOpen()) return 0;
    return agent_->CloseDataSource() ? 1 : 0;
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
