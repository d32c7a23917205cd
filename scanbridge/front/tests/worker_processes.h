#pragma once

// clang-format off
#include <windows.h>
#include <tlhelp32.h>
// clang-format on

#include <string>
#include <vector>

// The scanning workers that the process parent started.
inline std::vector<DWORD> WorkersOf(DWORD parent) {
    std::vector<DWORD> workers;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return workers;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == parent &&
            _wcsicmp(entry.szExeFile, L"scanbridge_worker.exe") == 0)
            workers.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return workers;
}
