#pragma once

// What a process holds of the system, each counted in a way that Wine
// answers truthfully: its GetProcessMemoryInfo is unreliable, and its
// GetProcessHandleCount and GetGuiResources answer 0.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstddef>

// Committed private memory: every heap, stack and VirtualAlloc of the
// process, found by walking its address space. A heap keeps what was freed
// in it committed for the next allocations, so small leaks show here only
// once they have used that up. Of this process, or of another one opened
// for PROCESS_QUERY_INFORMATION.
std::size_t CommittedPrivateBytes(HANDLE process = GetCurrentProcess());

// Bytes of the blocks in use in the process's heaps, for the small leaks.
// The largest blocks live outside the heaps' own regions and are not among
// them; they are in the committed memory at once.
std::size_t HeapBytesInUse();

// Kernel handles open in the process (events, files, threads, keys, ...).
unsigned LiveKernelHandles();
// The same of another process opened for PROCESS_DUP_HANDLE: each value
// that can be duplicated out of it is one.
unsigned LiveKernelHandlesOf(HANDLE process);

// Top-level windows that belong to the thread.
unsigned ThreadWindows(DWORD thread);

// GDI objects of the process (bitmaps, DCs, brushes, fonts, regions, ...).
unsigned LiveGdiObjects();
