#pragma once

// clang-format off
#include <windows.h>
#include <twain.h>
// clang-format on

#include <string>

// The trace's line for one request to the manager, after its answer: the
// triplet by name and number, where it went, what it carried (capabilities,
// identities, the user interface), the return code and, but for success,
// the condition code that the status query then gave.
std::string TwainRequestLine(const TW_IDENTITY* destination, TW_UINT32 group, TW_UINT16 dat,
                             TW_UINT16 msg, TW_MEMREF data, TW_UINT16 returnCode,
                             TW_UINT16 conditionCode);
