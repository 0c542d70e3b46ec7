// RAII owners for what the engine acquires from the system: kernel handles,
// a folder listing, a loaded module and LocalAlloc'd memory, each an core::owner::Owner
// (engine/core/owner.h, shared with the updater's platform layer) with its
// traits here; anything the engine must release is found in this one file.
#pragma once
#include <windows.h>

#include "owner.h"  // engine/core

namespace eng {

struct KernelHandle {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct FindSearch {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};
struct LoadedModule {
    using Type = HMODULE;
    static Type None() { return nullptr; }
    static bool Valid(Type m) { return m != nullptr; }
    static void Close(Type m) { ::FreeLibrary(m); }
};
struct LocalMemory {
    using Type = void*;
    static Type None() { return nullptr; }
    static bool Valid(Type p) { return p != nullptr; }
    static void Close(Type p) { ::LocalFree(p); }
};

// A kernel handle; null and INVALID_HANDLE_VALUE both mean "none".
using Handle = core::owner::Owner<KernelHandle>;
// A listing started with FindFirstFileW.
using FindHandle = core::owner::Owner<FindSearch>;
// A module loaded with LoadLibraryExW.
using Module = core::owner::Owner<LoadedModule>;
// Memory the system handed out with LocalAlloc (CommandLineToArgvW).
using LocalMem = core::owner::Owner<LocalMemory>;

}  // namespace eng
