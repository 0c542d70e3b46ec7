#include "platform/instance.h"
#include <windows.h>
#include <string>
#include "platform/utf.h"

namespace platform {

bool TakeMachineToken(const char* name, Handle& token) {
    token.Reset();
    std::wstring w;
    if (!ToWide((std::string("Global\\") + name).c_str(), w)) return false;
    HANDLE h = ::CreateMutexW(nullptr, FALSE, w.c_str());
    if (!h) return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    token.Reset(h);
    return true;
}

}  // namespace platform
