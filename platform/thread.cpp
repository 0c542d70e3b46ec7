#include "platform/thread.h"
#include <windows.h>
#include <memory>
#include "platform/crash.h"

namespace platform {

static DWORD WINAPI RunWork(void* arg) {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(arg));
    ReserveCrashStack();
    (*work)();
    return 0;
}

bool StartThread(std::function<void()> work, Handle& thread) {
    thread.Reset();
    auto* owned = new std::function<void()>(std::move(work));
    HANDLE h = ::CreateThread(nullptr, 0, RunWork, owned, 0, nullptr);
    if (!h) {
        DWORD error = ::GetLastError();
        delete owned;
        ::SetLastError(error);
        return false;
    }
    thread.Reset(h);
    return true;
}

}  // namespace platform
