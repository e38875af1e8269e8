#pragma once
// Movable global memory that is freed unless someone (the clipboard) takes it.

#include <windows.h>

#include "app/win_handles.h"

struct GlobalMemoryTraits {
    static HGLOBAL invalid() { return nullptr; }
    static bool valid(HGLOBAL memory) { return memory != nullptr; }
    static void close(HGLOBAL memory) { GlobalFree(memory); }
};
using GlobalMemory = UniqueWinHandle<HGLOBAL, GlobalMemoryTraits>;

// GlobalLock / GlobalUnlock pair.
class GlobalLockScope {
public:
    explicit GlobalLockScope(HGLOBAL memory) : memory_(memory), bytes_(GlobalLock(memory)) {}
    ~GlobalLockScope() {
        if (bytes_) GlobalUnlock(memory_);
    }
    GlobalLockScope(const GlobalLockScope&) = delete;
    GlobalLockScope& operator=(const GlobalLockScope&) = delete;
    void* bytes() const { return bytes_; }

private:
    HGLOBAL memory_;
    void* bytes_;
};
