#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>
#include <type_traits>

// Movable global memory is how TWAIN hands containers and images across the
// manager; these holders make sure every block is unlocked and freed on every
// path, including the early returns.

struct GlobalFreeDeleter {
    void operator()(void* block) const { GlobalFree(block); }
};
// Owns a global memory block and frees it once.
using GlobalBlock = std::unique_ptr<void, GlobalFreeDeleter>;

// Keeps one lock on a block for its own lifetime.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL block)
        : block_(block), address_(block ? GlobalLock(block) : nullptr) {}
    ~GlobalLockGuard() {
        if (address_) GlobalUnlock(block_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;

    explicit operator bool() const { return address_ != nullptr; }
    void* get() const { return address_; }

private:
    HGLOBAL block_;
    void* address_;
};

// A new zero-filled movable block of size bytes, filled by fill(bytes) while
// it is locked; empty when the memory cannot be had.
template <typename Fill>
GlobalBlock NewGlobalBlock(std::size_t size, Fill fill) {
    GlobalBlock block(GlobalAlloc(GHND, size));
    if (!block) return block;
    {
        GlobalLockGuard lock(block.get());
        if (!lock) return GlobalBlock();
        fill(static_cast<unsigned char*>(lock.get()));
    }
    return block;
}

struct FreeLibraryDeleter {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
// Owns a loaded library and frees it once.
using LoadedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, FreeLibraryDeleter>;
