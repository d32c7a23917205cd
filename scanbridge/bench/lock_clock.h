#pragma once

// The moment the bridge has the page in hand: when GlobalLock on the block
// that a native transfer handed over returns inside scanbridge.dll. Caught
// through the DLL's import table, so the bridge runs its own code unchanged
// and knows nothing of being timed.

// clang-format off
#include <windows.h>
// clang-format on

#include <chrono>
#include <vector>

// From now on every GlobalLock that module makes is timed. Answers false
// when the module does not import GlobalLock by name.
bool ClockGlobalLocks(HMODULE module);

// When those GlobalLock calls returned, oldest first, since the last take.
std::vector<std::chrono::steady_clock::time_point> TakeLockTimes();
