#include "platform/account.h"
#include <sddl.h>
#include <cstring>
#include <vector>
#include "platform/handles.h"

namespace platform {

bool CurrentUserSid(char* out, DWORD cap) {
    if (cap) out[0] = 0;
    Handle token;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    token.Reset(raw);
    DWORD bytes = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &bytes);
    if (bytes == 0) return false;
    std::vector<BYTE> info(bytes);
    if (!::GetTokenInformation(token.Get(), TokenUser, info.data(), bytes, &bytes)) return false;
    char* text = nullptr;  // LocalAlloc'ed by the system; freed below
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid, &text))
        return false;
    size_t n = std::strlen(text);
    bool fits = n < cap;
    if (fits) std::memcpy(out, text, n + 1);
    ::LocalFree(text);
    if (!fits) ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return fits;
}

}  // namespace platform
