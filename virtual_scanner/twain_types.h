#pragma once

// The TWAIN records and codes, from the standard header. twain.h needs the
// Windows types declared before it.
// clang-format off
#include <windows.h>
#include <twain.h>
// clang-format on
