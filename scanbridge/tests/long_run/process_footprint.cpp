#include "process_footprint.h"

#include <algorithm>
#include <vector>

std::size_t CommittedPrivateBytes(HANDLE process) {
    std::size_t committed = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* at = nullptr;
    while (VirtualQueryEx(process, at, &region, sizeof(region)) == sizeof(region)) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
            committed += region.RegionSize;
        }
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        // The last region may end at the top of the address space.
        if (next <= at) break;
        at = next;
    }
    return committed;
}

std::size_t HeapBytesInUse() {
    // Room for a few heaps made between the two calls.
    std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 8);
    const DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    heaps.resize(std::min<std::size_t>(count, heaps.size()));
    std::size_t inUse = 0;
    for (HANDLE heap : heaps) {
        if (!HeapLock(heap)) continue;
        PROCESS_HEAP_ENTRY entry{};
        while (HeapWalk(heap, &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) inUse += entry.cbData;
        }
        HeapUnlock(heap);
    }
    return inUse;
}

unsigned LiveKernelHandles() {
    // A handle is four times its slot in the process's table, and the table
    // gives out its lowest free slot, so a process that never held more than
    // this many handles at once has none above the bound.
    constexpr UINT_PTR kValues = 0x10000;
    unsigned live = 0;
    for (UINT_PTR value = 4; value < kValues; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++live;
    }
    return live;
}

unsigned LiveKernelHandlesOf(HANDLE process) {
    unsigned live = 0;
    for (UINT_PTR value = 4; value < 0x4000; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            ++live;
            CloseHandle(copy);
        }
    }
    return live;
}

namespace {

BOOL CALLBACK CountWindow(HWND, LPARAM counter) {
    ++*reinterpret_cast<unsigned*>(counter);
    return TRUE;
}

}  // namespace

unsigned ThreadWindows(DWORD thread) {
    unsigned windows = 0;
    EnumThreadWindows(thread, CountWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

unsigned LiveGdiObjects() {
    // Wine finds a GDI object's entry by the low 16 bits of its handle and
    // takes them alone (the high 16 bits, the entry's reuse count, may be
    // left 0), so asking about every index finds every live object.
    unsigned live = 0;
    for (UINT_PTR index = 1; index <= 0xFFFF; ++index) {
        if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++live;
    }
    return live;
}
