#include "worker_process.h"

// clang-format off
#include <sddl.h>
// clang-format on

#include <atomic>
#include <utility>
#include <vector>

namespace {

// A worker loads the TWAIN manager before it says it is ready; under an
// emulator that alone takes seconds.
constexpr DWORD kStartTimeoutMs = 60000;
constexpr DWORD kEndGraceMs = 5000;

std::string Error(const char* what, DWORD error) {
    return std::string(what) + " (error " + std::to_string(error) + ")";
}

struct Handle {
    HANDLE value = nullptr;
    ~Handle() {
        if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
    }
    HANDLE Release() { return std::exchange(value, nullptr); }
};

// Only the user this process runs as may open the pipe.
std::wstring CurrentUserOnly() {
    Handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.value)) return {};
    DWORD size = 0;
    GetTokenInformation(token.value, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !GetTokenInformation(token.value, TokenUser, buffer.data(), size, &size))
        return {};
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid))
        return {};
    std::wstring descriptor = L"D:P(A;;GA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    return descriptor;
}

std::wstring UniquePipeName() {
    static std::atomic<unsigned> serial{0};
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return L"\\\\.\\pipe\\scanbridge-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++serial) + L"-" + std::to_wstring(now.QuadPart);
}

HANDLE CreatePrivatePipe(const std::wstring& name, std::string& why) {
    const std::wstring sddl = CurrentUserOnly();
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl.empty() || !ConvertStringSecurityDescriptorToSecurityDescriptorW(
                            sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        why = Error("cannot describe the pipe's access", GetLastError());
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor, FALSE};
    const HANDLE pipe = CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 64 * 1024,
        64 * 1024, 0, &attributes);
    LocalFree(descriptor);
    if (pipe == INVALID_HANDLE_VALUE) {
        why = Error("cannot create the pipe", GetLastError());
        return nullptr;
    }
    return pipe;
}

HANDLE CreateKillOnCloseJob() {
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    return job;
}

// Waits for the worker to open the pipe, or to end first.
bool AwaitConnection(HANDLE pipe, HANDLE process, std::string& why) {
    Handle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.value;
    if (!ConnectNamedPipe(pipe, &overlapped)) {
        const DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING) {
            const HANDLE both[] = {event.value, process};
            const DWORD woke = WaitForMultipleObjects(2, both, FALSE, kStartTimeoutMs);
            if (woke != WAIT_OBJECT_0) {
                CancelIoEx(pipe, &overlapped);
                DWORD ignored = 0;
                GetOverlappedResult(pipe, &overlapped, &ignored, TRUE);
                why = woke == WAIT_OBJECT_0 + 1 ? "it ended before it connected"
                                                : "it did not connect in time";
                return false;
            }
            DWORD ignored = 0;
            if (!GetOverlappedResult(pipe, &overlapped, &ignored, FALSE)) {
                why = Error("the connection failed", GetLastError());
                return false;
            }
        } else if (error != ERROR_PIPE_CONNECTED) {
            why = Error("the connection failed", error);
            return false;
        }
    }
    return true;
}

}  // namespace

std::unique_ptr<WorkerProcess> WorkerProcess::Start(const std::wstring& path, std::string& why) {
    const std::wstring name = UniquePipeName();
    Handle pipe{CreatePrivatePipe(name, why)};
    if (pipe.value == nullptr) return nullptr;
    Handle job{CreateKillOnCloseJob()};
    if (job.value == nullptr) {
        why = Error("cannot create its job", GetLastError());
        return nullptr;
    }

    std::wstring commandLine =
        L"\"" + path + L"\" " + name + L" " + std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION created{};
    // Suspended until it is in the job, so that not even its first moments
    // can outlive this process. No handle is inherited: the JVM's own stay
    // the JVM's.
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &created)) {
        why = Error("cannot be started", GetLastError());
        return nullptr;
    }
    Handle thread{created.hThread};
    Handle process{created.hProcess};
    // Where this process is already in a job that forbids this, the worker
    // still ends with it: it ends when its pipe does.
    AssignProcessToJobObject(job.value, process.value);
    ResumeThread(thread.value);

    if (!AwaitConnection(pipe.value, process.value, why)) {
        TerminateProcess(process.value, 1);
        return nullptr;
    }
    ULONG client = 0;
    if (!GetNamedPipeClientProcessId(pipe.value, &client) || client != created.dwProcessId) {
        TerminateProcess(process.value, 1);
        why = "the pipe was opened by another process";
        return nullptr;
    }
    std::unique_ptr<WorkerProcess> worker(
        new WorkerProcess(pipe.Release(), job.Release(), process.Release(), created.dwProcessId));
    const auto hello = worker->channel_.Receive();
    if (!hello || hello->kind != MessageKind::Hello || hello->numbers[0] != kProtocolVersion) {
        why = "it did not greet as a worker of this version";
        TerminateProcess(worker->process_, 1);
        return nullptr;
    }
    return worker;
}

WorkerProcess::~WorkerProcess() {
    if (abandoned_) return;
    // The end of the pipe is the worker's signal to close TWAIN and end.
    channel_.Close();
    WaitForSingleObject(process_, kEndGraceMs);
    CloseHandle(job_);
    CloseHandle(process_);
}
