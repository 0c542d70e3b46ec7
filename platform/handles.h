// RAII owners for what must be released: kernel handles, registry keys, find
// handles and COM interfaces. Nothing else in the code base owns a system
// resource, so a reader looking for "who frees this" finds it here.
#pragma once
#include <windows.h>
#include <utility>
#include <objbase.h>

namespace platform {

// A kernel handle; INVALID_HANDLE_VALUE and null both mean "none".
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() { Reset(); }
    Handle(Handle&& o) noexcept : h_(o.Release()) {}
    Handle& operator=(Handle&& o) noexcept { if (this != &o) { Reset(); h_ = o.Release(); } return *this; }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() { HANDLE h = h_; h_ = INVALID_HANDLE_VALUE; return h; }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (Valid()) ::CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// A registry key this code opened. Predefined root keys are never wrapped.
class Key {
public:
    Key() = default;
    explicit Key(HKEY k) : k_(k) {}
    ~Key() { Reset(); }
    Key(Key&& o) noexcept : k_(std::exchange(o.k_, nullptr)) {}
    Key& operator=(Key&& o) noexcept { if (this != &o) { Reset(); k_ = std::exchange(o.k_, nullptr); } return *this; }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    HKEY Get() const { return k_; }
    HKEY* Out() { Reset(); return &k_; }
    bool Valid() const { return k_ != nullptr; }
    void Reset() { if (k_) ::RegCloseKey(k_); k_ = nullptr; }

private:
    HKEY k_ = nullptr;
};

// A FindFirstFile search.
class Find {
public:
    Find() = default;
    explicit Find(HANDLE h) : h_(h) {}
    ~Find() { Reset(); }
    Find(const Find&) = delete;
    Find& operator=(const Find&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
        if (Valid()) ::FindClose(h_);
        h_ = h;
    }
    HANDLE Get() const { return h_; }

private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

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
    T** Out() { Reset(); return &p_; }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset() { if (p_) p_->Release(); p_ = nullptr; }

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
    template <class T> T** Out() { ::CoTaskMemFree(p_); p_ = nullptr; return reinterpret_cast<T**>(&p_); }

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
    template <class T> T** Out() { ::LocalFree(p_); p_ = nullptr; return reinterpret_cast<T**>(&p_); }

private:
    void* p_ = nullptr;
};

}  // namespace platform
