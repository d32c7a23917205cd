#pragma once

// clang-format off
#include <windows.h>
// clang-format on

#include <string>

// One line straight to the process's standard error, past any C library
// buffer: the JVM shows it, and a process without one loses nothing else.
inline void SayOnStderr(const std::string& line) {
    const HANDLE stderrHandle = GetStdHandle(STD_ERROR_HANDLE);
    if (stderrHandle == nullptr || stderrHandle == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(stderrHandle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}
