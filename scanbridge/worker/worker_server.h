#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <atomic>
#include <cstddef>
#include <deque>
#include <mutex>

#include "pipe_channel.h"
#include "scan_manager.h"

// The worker's side of the session: the engine lives on the thread that runs
// Serve, as it lives on the loading thread of the in-process library, and
// every TWAIN request is made there. A reading thread takes the front's
// messages: the scan's start and its stop reach the engine at once, in the
// order sent, even while a scan runs; everything else waits for the engine
// thread.
class WorkerServer {
public:
    explicit WorkerServer(PipeChannel& channel);
    ~WorkerServer();
    WorkerServer(const WorkerServer&) = delete;
    WorkerServer& operator=(const WorkerServer&) = delete;

    // Loads the manager, greets the front and serves it until it is gone.
    void Serve(HINSTANCE instance);

private:
    static void DeliverImage(void* dib, std::size_t size);
    void SendPage(void* dib, std::size_t size);
    // The page mapping, made anew only when a page does not fit it; null
    // when none can be had.
    void* PageView(std::size_t size);
    void ReleasePageMapping();
    void Read();
    static DWORD WINAPI ReadThread(void* self);
    void Execute(const Message& request);
    void FrontGone();

    PipeChannel& channel_;
    ScanManager manager_;
    std::mutex queueLock_;
    std::deque<Message> queue_;
    HANDLE queued_;     // a request waits in queue_
    HANDLE pageTaken_;  // the front answered the last page, or is gone
    std::atomic<bool> gone_{false};
    DWORD engineThread_ = 0;
    // Kept from page to page of a scan, so that neither side maps and
    // touches fresh memory for every page.
    HANDLE pageMapping_ = nullptr;
    void* pageView_ = nullptr;
    std::size_t pageMappingSize_ = 0;
    std::int32_t pageMappingSerial_ = 0;
};
