#include "platform/security.h"
#include <sddl.h>
#include <cstdio>
#include <vector>
#include "platform/handles.h"

namespace platform {

// The running user's SID as text ("S-1-5-21-..."), into out (cap bytes).
static bool CurrentUserSid(char* out, size_t cap) {
    Handle token;
    HANDLE h = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &h)) return false;
    token.Reset(h);
    DWORD bytes = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &bytes);
    if (bytes == 0) return false;
    std::vector<BYTE> info(bytes);
    if (!::GetTokenInformation(token.Get(), TokenUser, info.data(), bytes, &bytes)) return false;
    LocalMem text;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid, text.Out<char>()))
        return false;
    int n = std::snprintf(out, cap, "%s", static_cast<const char*>(text.Get()));
    if (n < 0 || static_cast<size_t>(n) >= cap) { ::SetLastError(ERROR_INSUFFICIENT_BUFFER); return false; }
    return true;
}

bool CreatePrivateFolder(const char* path) {
    char sid[192];
    if (!CurrentUserSid(sid, sizeof sid)) return false;
    // P: not inherited from the parent; OICI: files and folders below inherit it.
    char sddl[320];
    std::snprintf(sddl, sizeof sddl, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;%s)", sid);
    LocalMem sd;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                 sd.Out<void>(), nullptr))
        return false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd.Get(), FALSE};
    return ::CreateDirectoryA(path, &sa) != 0;
}

}  // namespace platform
