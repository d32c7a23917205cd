#include "lock_clock.h"

#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;
using GlobalLockFunction = LPVOID(WINAPI*)(HGLOBAL);

GlobalLockFunction realGlobalLock = nullptr;
std::vector<Clock::time_point> lockTimes;

LPVOID WINAPI TimedGlobalLock(HGLOBAL block) {
    LPVOID address = realGlobalLock(block);
    lockTimes.push_back(Clock::now());
    return address;
}

}  // namespace

bool ClockGlobalLocks(HMODULE module) {
    // Room enough that recording a time never allocates inside a measured
    // span.
    lockTimes.reserve(4096);
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return false;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        if (import->OriginalFirstThunk == 0) continue;
        // The names are in the lookup table; the addresses the loader bound
        // are in the parallel address table.
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* bound = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++bound) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), "GlobalLock") != 0) {
                continue;
            }
            realGlobalLock = reinterpret_cast<GlobalLockFunction>(bound->u1.Function);
            DWORD protection;
            VirtualProtect(&bound->u1.Function, sizeof(bound->u1.Function), PAGE_READWRITE,
                           &protection);
            bound->u1.Function =
                reinterpret_cast<ULONG_PTR>(reinterpret_cast<void*>(&TimedGlobalLock));
            VirtualProtect(&bound->u1.Function, sizeof(bound->u1.Function), protection,
                           &protection);
            return true;
        }
    }
    return false;
}

std::vector<std::chrono::steady_clock::time_point> TakeLockTimes() {
    std::vector<Clock::time_point> taken(lockTimes);
    lockTimes.clear();
    return taken;
}
