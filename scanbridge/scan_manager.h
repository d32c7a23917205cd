#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <atomic>
#include <memory>

#include "scan_agent.h"
#include "scan_engine.h"

// The library's single scanner: it owns the hidden proxy window that the
// TWAIN manager needs as its parent and the one ScanAgent, and runs each scan
// synchronously inside a message pump on the calling thread.
class ScanManager : public ScanEngine {
public:
    ScanManager() = default;
    // Closes the source and the manager, unloads TWAIN_32.DLL and destroys
    // the proxy window.
    ~ScanManager() override;
    ScanManager(const ScanManager&) = delete;
    ScanManager& operator=(const ScanManager&) = delete;

    // Creates the proxy window and the agent, which loads and opens the
    // manager with that window as its parent. Called once, at library load.
    void Attach(HINSTANCE module, ImageHook hook);
    // The process is ending: TWAIN_32.DLL and the window system may already
    // be gone, so destruction leaves the manager, the source and the proxy
    // window to the system instead of calling into them.
    void LeaveToSystem();

    void BeginScan() override;
    bool RunScan(int count) override;
    void PumpMessages();
    // Passes one message of the scanning thread through the source and
    // reacts to its notification; answers whether the source took it.
    bool FilterMessage(MSG& message);
    int StopScan() override;
    int RequestStop() override;
    bool IsScanning() const override;
    int SetShowUI(bool show) override;

    std::string ListSourceNames() override;
    bool OpenSourceByName(const char* name) override;
    bool PickDefaultSource() override;
    bool ApplyPixelType(int type) override;
    bool ApplyResolution(int x, int y) override;
    bool ApplyDuplex(bool on) override;

    // For tests and diagnostics.
    ScanAgent* Agent() const { return agent_.get(); }
    HWND ProxyWindow() const { return proxy_; }

private:
    void Drain();
    void Dispatch(MSG& message);

    // Written by the stop requests, possibly from another Java thread, and
    // read by IsScanning from any thread.
    std::atomic<LONG> scanning_{0};
    std::unique_ptr<ScanAgent> agent_;
    HWND proxy_ = nullptr;
    HINSTANCE module_ = nullptr;
    // The thread inside RunScan once it has a message queue, 0 otherwise:
    // where a stop request posts the message that wakes the pump.
    std::atomic<DWORD> scanThread_{0};
};
