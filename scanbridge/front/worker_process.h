#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <memory>
#include <string>

#include "pipe_channel.h"

// One run of the 32-bit worker: the process, started hidden inside a job
// that ends it with this process, and the private pipe to it.
class WorkerProcess {
public:
    // Starts the worker program at path and waits until it is ready. On
    // failure answers null and says why in why.
    static std::unique_ptr<WorkerProcess> Start(const std::wstring& path, std::string& why);
    // Ends the session: the worker closes its source and manager and ends;
    // one that does not within a grace period is ended by the job.
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    PipeChannel& Channel() { return channel_; }
    HANDLE Process() const { return process_; }
    DWORD Id() const { return id_; }
    bool Alive() const { return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
    // The process is ending: nothing is waited for, and the system's closing
    // of the job ends the worker.
    void Abandon() { abandoned_ = true; }

private:
    WorkerProcess(HANDLE pipe, HANDLE job, HANDLE process, DWORD id)
        : channel_(pipe), job_(job), process_(process), id_(id) {}

    PipeChannel channel_;
    HANDLE job_;
    HANDLE process_;
    DWORD id_;
    bool abandoned_ = false;
};
