#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "channel_message.h"
#include "scan_engine.h"

class WorkerProcess;

// The engine of the 64-bit bridge: every request goes to the 32-bit worker
// beside this library, which runs the scan engine over the platform's
// TWAIN_32.DLL. The worker starts at the first request that needs it and
// again after one died; a machine where it cannot start answers like one
// without TWAIN.
class WorkerEngine : public ScanEngine {
public:
    // hook: takes each page, the bytes of a BMP file, on the scanning thread.
    using PageHook = void (*)(const void* bmp, std::size_t size);
    explicit WorkerEngine(PageHook hook) : hook_(hook) {}
    // Ends the worker, which closes the source and the manager.
    ~WorkerEngine() override;
    WorkerEngine(const WorkerEngine&) = delete;
    WorkerEngine& operator=(const WorkerEngine&) = delete;

    // The process is ending: the worker is left to the system, which ends it.
    void LeaveToSystem();

    std::string ListSourceNames() override;
    bool OpenSourceByName(const char* name) override;
    bool PickDefaultSource() override;
    bool ApplyPixelType(int type) override;
    bool ApplyResolution(int x, int y) override;
    bool ApplyDuplex(bool on) override;
    int SetShowUI(bool show) override;
    void BeginScan() override;
    bool RunScan(int count) override;
    int StopScan() override;
    int RequestStop() override;
    bool IsScanning() const override;

private:
    // The running worker, started if there is none; null when none can be.
    std::shared_ptr<WorkerProcess> Worker();
    // The worker's answer, or nothing when the session ended on the way.
    std::optional<Message> Ask(const Message& request, bool pagesMayCome = false);
    bool TakePage(WorkerProcess& worker, const Message& page);
    void ReleasePageView();
    void EndSession();
    bool Send(const Message& message);

    PageHook hook_;
    // Replaced only by the thread inside the bridge; read under the lock by
    // a stop from another thread.
    std::mutex workerLock_;
    std::shared_ptr<WorkerProcess> worker_;
    bool startFailed_ = false;
    // The worker's page mapping as this side maps it, during a scan.
    const void* pageView_ = nullptr;
    std::size_t pageViewSize_ = 0;
    std::int32_t pageSerial_ = 0;
    std::atomic<int> scanning_{0};
};
