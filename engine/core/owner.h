// The one move-only owner of a system resource, for the engine and the
// updater's platform layer alike. A Traits class names the resource:
//   using Type = ...;                        the handle type
//   static Type None();                      the value that owns nothing
//   static bool Valid(Type v);               whether v is something to release
//   static void Close(Type v);               releases v
// Releasing keeps the thread's last-error code (on Windows), so that an owner
// going out of scope on an error path does not overwrite why the caller
// failed.
#pragma once
#include <utility>
#ifdef _WIN32
#include <windows.h>
#endif

namespace core::owner {

struct KeepLastError {
#ifdef _WIN32
    DWORD code = ::GetLastError();
    ~KeepLastError() { ::SetLastError(code); }
#endif
};

template <class Traits>
class Owner {
public:
    using Type = typename Traits::Type;

    Owner() = default;
    explicit Owner(Type v) : v_(v) {}
    ~Owner() { Reset(); }
    Owner(Owner&& o) noexcept : v_(o.Release()) {}
    Owner& operator=(Owner&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;

    Type Get() const { return v_; }
    bool Valid() const { return Traits::Valid(v_); }
    // Gives the resource up without releasing it.
    Type Release() { return std::exchange(v_, Traits::None()); }
    // Releases what is owned, then owns `v`.
    void Reset(Type v = Traits::None()) {
        if (Traits::Valid(v_)) {
            KeepLastError keep;
            Traits::Close(v_);
        }
        v_ = v;
    }
    // For a call that writes a new resource into a pointer.
    Type* Out() {
        Reset();
        return &v_;
    }

private:
    Type v_ = Traits::None();
};

}  // namespace core::owner
