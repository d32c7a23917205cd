// The 32-bit worker of the 64-bit bridge: started hidden by the bridge in a
// 64-bit JVM, it hosts the scan engine over the platform's 32-bit
// TWAIN_32.DLL and serves it over the pipe the bridge named. It talks to no
// one else: it runs only for the process that started it, and only through a
// pipe that process serves.
//
//   scanbridge_worker.exe <pipe name> <process id of the bridge's process>

// clang-format off
#include <windows.h>
#include <winternl.h>
// clang-format on

#include <cwchar>
#include <string>

#include "pipe_channel.h"
#include "trace.h"
#include "worker_server.h"

namespace {

// The process that created this one, as the system recorded it.
DWORD ParentProcessId() {
    using Query = LONG(NTAPI*)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (query == nullptr) return 0;
    PROCESS_BASIC_INFORMATION info{};
    if (query(GetCurrentProcess(), ProcessBasicInformation, &info, sizeof(info), nullptr) != 0)
        return 0;
    return static_cast<DWORD>(info.InheritedFromUniqueProcessId);
}

int Fail(const wchar_t* why) {
    // Hidden and without a console: the bridge sees the pipe end and says
    // what happened; this is for a debugger.
    OutputDebugStringW(why);
    return 2;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr || count != 3) return Fail(L"scanbridge worker: wrong arguments");
    const std::wstring pipeName = args[1];
    wchar_t* end = nullptr;
    const unsigned long front = std::wcstoul(args[2], &end, 10);
    const bool numeric = end != args[2] && *end == L'\0';
    LocalFree(args);
    if (!numeric || front == 0) return Fail(L"scanbridge worker: wrong arguments");
    if (ParentProcessId() != front)
        return Fail(L"scanbridge worker: not started by the process it was asked to serve");
    if (pipeName.rfind(L"\\\\.\\pipe\\scanbridge-", 0) != 0)
        return Fail(L"scanbridge worker: not a bridge pipe");

    // Identification only: the bridge's side may learn who this is, never
    // act as this process.
    const HANDLE pipe = CreateFileW(
        pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return Fail(L"scanbridge worker: cannot open the pipe");
    PipeChannel channel(pipe);
    ULONG server = 0;
    if (!GetNamedPipeServerProcessId(pipe, &server) || server != front)
        return Fail(L"scanbridge worker: the pipe is not served by the process that started it");

    // The same file as the front's, when its environment, which this process
    // inherited, names one.
    const trace::Session traceSession("worker");
    WorkerServer worker(channel);
    worker.Serve(instance);
    return 0;
}
