#include "trace.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <atomic>
#include <cstdio>

#include "stderr_line.h"

namespace trace {
namespace {

// A trace left on for weeks must not fill the disk.
constexpr LONGLONG kMaxBytes = 10 * 1024 * 1024;
// Kept free for the line that says the trace stops, so that it fits too.
constexpr LONGLONG kNoticeRoom = 256;

std::atomic<HANDLE> file{nullptr};
const char* writer = "bridge";
CRITICAL_SECTION writing;
bool full = false;

void WriteRaw(HANDLE to, const std::string& text) {
    DWORD written = 0;
    WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

void Open(const char* side) {
    writer = side;
    char path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("SCANBRIDGE_TRACE", path, MAX_PATH);
    if (length == 0) return;
    if (length >= MAX_PATH) {
        SayOnStderr("scanbridge: no trace: the path in SCANBRIDGE_TRACE is too long");
        return;
    }
    // Appending, with other readers and the other side of a 64-bit bridge
    // writing the same file.
    const HANDLE opened =
        CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        SayOnStderr(std::string("scanbridge: no trace: cannot open ") + path + " (error " +
                    std::to_string(GetLastError()) + ")");
        return;
    }
    InitializeCriticalSection(&writing);
    full = false;
    file = opened;
}

void Close() {
    const HANDLE open = file.exchange(nullptr);
    if (open == nullptr) return;
    CloseHandle(open);
    DeleteCriticalSection(&writing);
}

bool On() { return file.load(std::memory_order_relaxed) != nullptr; }

void Line(const std::string& text) {
    const HANDLE to = file;
    if (to == nullptr) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char head[64];
    std::snprintf(head, sizeof head, "%04u-%02u-%02u %02u:%02u:%02u.%03u T%lu %s ", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                  GetCurrentThreadId(), writer);
    const std::string line = head + text + "\r\n";
    EnterCriticalSection(&writing);
    if (!full) {
        LARGE_INTEGER size{};
        GetFileSizeEx(to, &size);
        if (size.QuadPart + static_cast<LONGLONG>(line.size()) > kMaxBytes - kNoticeRoom) {
            full = true;
            WriteRaw(to, std::string(head) +
                             "trace: the file reached its bound of 10 MB; no "
                             "more lines\r\n");
        } else {
            WriteRaw(to, line);
        }
    }
    LeaveCriticalSection(&writing);
}

}  // namespace trace
