#include "manager_clock.h"

// clang-format off
#include <twain.h>
// clang-format on

namespace {

using Clock = std::chrono::steady_clock;
using EntryFunction = TW_UINT16(WINAPI*)(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16,
                                         TW_UINT16, TW_MEMREF);

EntryFunction realEntry = nullptr;
std::chrono::nanoseconds inManager{};

TW_UINT16 WINAPI TimedEntry(pTW_IDENTITY origin, pTW_IDENTITY destination, TW_UINT32 group,
                            TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    const auto start = Clock::now();
    const TW_UINT16 answer = realEntry(origin, destination, group, dat, msg, data);
    inManager += Clock::now() - start;
    return answer;
}

}  // namespace

bool ClockManagerEntry(HMODULE manager) {
    auto* base = reinterpret_cast<BYTE*>(manager);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (directory.VirtualAddress == 0) return false;
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    const DWORD index = 1 - exports->Base;
    if (index >= exports->NumberOfFunctions) return false;
    auto* functions = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions);
    realEntry = reinterpret_cast<EntryFunction>(base + functions[index]);
    // An export is an offset from the module's base, and the wrapper lies
    // in the program, outside the module; in a 32-bit address space the
    // offset reaches it by wrapping round if it must.
    const DWORD offset = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(&TimedEntry) -
                                            reinterpret_cast<UINT_PTR>(base));
    DWORD protection;
    VirtualProtect(&functions[index], sizeof(DWORD), PAGE_READWRITE, &protection);
    functions[index] = offset;
    VirtualProtect(&functions[index], sizeof(DWORD), protection, &protection);
    return true;
}

std::chrono::nanoseconds TimeInManager() { return inManager; }
