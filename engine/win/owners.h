// RAII owners for what the engine acquires from the system: kernel handles,
// hash provider objects, a loaded module and LocalAlloc'd memory. The engine
// is a program of its own, so it keeps its owners here rather than borrowing
// the updater's; anything it must release is found in this one file.
#pragma once
#include <windows.h>
#include <bcrypt.h>

#include <utility>

namespace eng {

// A kernel handle; null and INVALID_HANDLE_VALUE both mean "none".
class Handle {
 public:
  Handle() = default;
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Reset(); }
  Handle(Handle&& o) noexcept : h_(o.Release()) {}
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void Reset(HANDLE h = INVALID_HANDLE_VALUE) {
    if (Valid()) ::CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// An open hash algorithm provider.
class AlgProvider {
 public:
  AlgProvider() = default;
  ~AlgProvider() { Reset(); }
  AlgProvider(const AlgProvider&) = delete;
  AlgProvider& operator=(const AlgProvider&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return h_; }
  BCRYPT_ALG_HANDLE* Out() { Reset(); return &h_; }
  void Reset() {
    if (h_) ::BCryptCloseAlgorithmProvider(h_, 0);
    h_ = nullptr;
  }

 private:
  BCRYPT_ALG_HANDLE h_ = nullptr;
};

// A hash object of a provider; must be reset before its provider is.
class HashObject {
 public:
  HashObject() = default;
  ~HashObject() { Reset(); }
  HashObject(const HashObject&) = delete;
  HashObject& operator=(const HashObject&) = delete;
  BCRYPT_HASH_HANDLE Get() const { return h_; }
  BCRYPT_HASH_HANDLE* Out() { Reset(); return &h_; }
  void Reset() {
    if (h_) ::BCryptDestroyHash(h_);
    h_ = nullptr;
  }

 private:
  BCRYPT_HASH_HANDLE h_ = nullptr;
};

// A module loaded with LoadLibraryExW.
class Module {
 public:
  explicit Module(HMODULE m) : m_(m) {}
  ~Module() { if (m_) ::FreeLibrary(m_); }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  HMODULE Get() const { return m_; }

 private:
  HMODULE m_;
};

// Memory the system handed out with LocalAlloc (CommandLineToArgvW).
class LocalMem {
 public:
  explicit LocalMem(void* p) : p_(p) {}
  ~LocalMem() { if (p_) ::LocalFree(p_); }
  LocalMem(const LocalMem&) = delete;
  LocalMem& operator=(const LocalMem&) = delete;

 private:
  void* p_;
};

}  // namespace eng
