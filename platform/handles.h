// RAII owners for what must be released: kernel handles, registry keys, find
// handles and COM interfaces. Nothing else in the code base owns a system
// resource, so a reader looking for "who frees this" finds it here.
#pragma once
#include <windows.h>
#include <utility>
#include <objbase.h>
#include "engine/core/owner.h"

namespace platform {

struct KernelHandle {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
struct RegistryKey {
    using Type = HKEY;
    static Type None() { return nullptr; }
    static bool Valid(Type k) { return k != nullptr; }
    static void Close(Type k) { ::RegCloseKey(k); }
};
struct FindSearch {
    using Type = HANDLE;
    static Type None() { return INVALID_HANDLE_VALUE; }
    static bool Valid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

// A kernel handle; INVALID_HANDLE_VALUE and null both mean "none".
using Handle = core::owner::Owner<KernelHandle>;
// A registry key this code opened. Predefined root keys are never wrapped.
using Key = core::owner::Owner<RegistryKey>;
// A FindFirstFile search.
using Find = core::owner::Owner<FindSearch>;

// A COM interface pointer; Release() on destruction.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T** Out() {
        Reset();
        return &p_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

private:
    T* p_ = nullptr;
};

// One BeginPaint / EndPaint pair: painting a window's invalid region.
class Paint {
public:
    explicit Paint(HWND window) : window_(window) { dc_ = ::BeginPaint(window_, &ps_); }
    ~Paint() { ::EndPaint(window_, &ps_); }
    Paint(const Paint&) = delete;
    Paint& operator=(const Paint&) = delete;
    HDC Dc() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
    PAINTSTRUCT ps_;
};

// Memory handed out by the COM task allocator (the shell's item id lists);
// CoTaskMemFree on destruction.
class TaskMem {
public:
    TaskMem() = default;
    ~TaskMem() { ::CoTaskMemFree(p_); }
    TaskMem(const TaskMem&) = delete;
    TaskMem& operator=(const TaskMem&) = delete;
    void* Get() const { return p_; }
    template <class T>
    T** Out() {
        ::CoTaskMemFree(p_);
        p_ = nullptr;
        return reinterpret_cast<T**>(&p_);
    }

private:
    void* p_ = nullptr;
};

// Memory the system hands out with LocalAlloc (security descriptors, SID
// texts); LocalFree on destruction.
class LocalMem {
public:
    LocalMem() = default;
    ~LocalMem() { ::LocalFree(p_); }
    LocalMem(const LocalMem&) = delete;
    LocalMem& operator=(const LocalMem&) = delete;
    void* Get() const { return p_; }
    template <class T>
    T** Out() {
        ::LocalFree(p_);
        p_ = nullptr;
        return reinterpret_cast<T**>(&p_);
    }

private:
    void* p_ = nullptr;
};

}  // namespace platform
