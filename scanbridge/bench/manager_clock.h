#pragma once

// Time spent inside the TWAIN manager's entry, so that the test manager's
// own work (copying each page into the block it hands over, recording every
// request) can be told apart from the bridge's. The manager's export is
// pointed at a timing wrapper before the bridge looks it up; the bridge
// itself is not touched.

// clang-format off
#include <windows.h>
// clang-format on

#include <chrono>

// Must run before the bridge loads the manager (when scanbridge.dll is
// loaded). Answers false when module exports no ordinal 1.
bool ClockManagerEntry(HMODULE manager);

// Inside the manager's entry, all told, since the start.
std::chrono::nanoseconds TimeInManager();
