#include "block_watch.h"

#include <tlhelp32.h>

#include <cwchar>
#include <map>
#include <set>

namespace {

using GlobalFreeFunction = HGLOBAL(WINAPI*)(HGLOBAL);

GlobalFreeFunction RealGlobalFree() {
    static const auto real = reinterpret_cast<GlobalFreeFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GlobalFree")));
    return real;
}

// Per tracked block: how often the program freed it.
std::map<HGLOBAL, int>& Frees() {
    static std::map<HGLOBAL, int> frees;
    return frees;
}
UINT repeatedFrees = 0;

std::set<HANDLE>& ForeignHandles() {
    static std::set<HANDLE> handles;
    return handles;
}
UINT foreignFrees = 0;

using DeleteObjectFunction = BOOL(WINAPI*)(HGDIOBJ);

DeleteObjectFunction RealDeleteObject() {
    static const auto real = reinterpret_cast<DeleteObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("gdi32.dll"), "DeleteObject")));
    return real;
}

std::set<HANDLE>& NonGdiHandles() {
    static std::set<HANDLE> handles;
    return handles;
}
UINT foreignDeletes = 0;

BOOL WINAPI WatchedDeleteObject(HGDIOBJ object) {
    if (NonGdiHandles().count(object) != 0) {
        ++foreignDeletes;
        return FALSE;
    }
    return RealDeleteObject()(object);
}

HGLOBAL WINAPI WatchedGlobalFree(HGLOBAL block) {
    if (ForeignHandles().count(block) != 0) {
        // What GlobalFree would do with it is anyone's guess; the count is
        // what the tests want to know.
        ++foreignFrees;
        return block;
    }
    auto found = Frees().find(block);
    if (found != Frees().end() && found->second++ > 0) ++repeatedFrees;
    return RealGlobalFree()(block);
}

HMODULE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&TrackBlock), &module);
    return module;
}

bool IsSystemModule(const wchar_t* path) {
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    return length > 0 && _wcsnicmp(path, windows, length) == 0;
}

void Redirect(ULONG_PTR& slot, ULONG_PTR to) {
    DWORD protection;
    VirtualProtect(&slot, sizeof(slot), PAGE_READWRITE, &protection);
    slot = to;
    VirtualProtect(&slot, sizeof(slot), protection, &protection);
}

// Points every import of GlobalFree and DeleteObject in module at the
// watchers.
void PatchImports(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0) return;
    const auto realFree = reinterpret_cast<ULONG_PTR>(reinterpret_cast<void*>(RealGlobalFree()));
    const auto realDelete =
        reinterpret_cast<ULONG_PTR>(reinterpret_cast<void*>(RealDeleteObject()));
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name != 0; ++import) {
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
             thunk->u1.Function != 0; ++thunk) {
            if (thunk->u1.Function == realFree) {
                Redirect(thunk->u1.Function,
                         reinterpret_cast<ULONG_PTR>(reinterpret_cast<void*>(&WatchedGlobalFree)));
            } else if (realDelete != 0 && thunk->u1.Function == realDelete) {
                Redirect(thunk->u1.Function, reinterpret_cast<ULONG_PTR>(
                                                 reinterpret_cast<void*>(&WatchedDeleteObject)));
            }
        }
    }
}

// The test program and the libraries it brought, not Windows' own DLLs,
// and not this manager, whose own frees are its business.
void WatchProgramModules() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more;
         more = Module32NextW(snapshot, &entry)) {
        if (entry.hModule == ThisModule() || IsSystemModule(entry.szExePath)) continue;
        PatchImports(entry.hModule);
    }
    CloseHandle(snapshot);
}

}  // namespace

void TrackBlock(HGLOBAL block) {
    if (block == nullptr) return;
    // Patching again is harmless and picks up modules loaded since.
    WatchProgramModules();
    Frees()[block] = 0;
}

UINT LiveTrackedBlocks() {
    UINT live = 0;
    for (const auto& [block, frees] : Frees()) {
        if (frees == 0) ++live;
    }
    return live;
}

UINT RepeatedFrees() { return repeatedFrees; }

void ForgetTrackedBlocks() {
    Frees().clear();
    repeatedFrees = 0;
    ForeignHandles().clear();
    foreignFrees = 0;
    NonGdiHandles().clear();
    foreignDeletes = 0;
}

void TrackForeignHandle(HANDLE handle) {
    if (handle == nullptr) return;
    WatchProgramModules();
    ForeignHandles().insert(handle);
}

UINT ForeignFrees() { return foreignFrees; }

void TrackNonGdiHandle(HANDLE handle) {
    TrackForeignHandle(handle);
    NonGdiHandles().insert(handle);
}

UINT ForeignDeletes() { return foreignDeletes; }
