#pragma once

// clang-format off
#include <windows.h>
// clang-format on

// Who frees the blocks the test manager hands out (images, capability
// containers) or receives (the application's containers)? A real manager
// cannot tell, and GlobalFlags cannot either once Windows hands the same
// handle value to a new block. So the manager watches the GlobalFree calls
// that the program's own modules make, through their import tables.

// Starts watching a block; the watch covers every module loaded by now.
void TrackBlock(HGLOBAL block);
// Blocks tracked and not yet freed by the program.
UINT LiveTrackedBlocks();
// GlobalFree calls on a tracked block that had already been freed.
UINT RepeatedFrees();
void ForgetTrackedBlocks();

// Starts watching a handle that is not a global block (a bitmap, a kernel
// object) for GlobalFree calls, which are counted and not passed on.
void TrackForeignHandle(HANDLE handle);
// GlobalFree calls on such handles.
UINT ForeignFrees();
// Also watches a handle that is no GDI object (a kernel object, a value of
// the test's own) for DeleteObject calls, which are counted and not passed
// on: with enough GDI objects alive, its value may name someone else's.
void TrackNonGdiHandle(HANDLE handle);
UINT ForeignDeletes();
