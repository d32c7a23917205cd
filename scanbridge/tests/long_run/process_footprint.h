#pragma once

// What a process holds of the system, each counted in a way that Wine
// answers truthfully: its GetProcessMemoryInfo is unreliable, and its
// GetProcessHandleCount and GetGuiResources answer 0.

// clang-format off
#include <windows.h>
// clang-format on

#include <cstddef>

// Committed private memory: every heap, stack and VirtualAlloc of the
// process, found by walking its address space.
std::size_t CommittedPrivateBytes();

// Kernel handles open in the process (events, files, threads, keys, ...).
unsigned LiveKernelHandles();

// Top-level windows that belong to the thread.
unsigned ThreadWindows(DWORD thread);

// GDI objects of the process (bitmaps, DCs, brushes, fonts, regions, ...).
unsigned LiveGdiObjects();
