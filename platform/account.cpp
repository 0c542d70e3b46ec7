#include "platform/account.h"
#include <sddl.h>
#include <vector>
#include "platform/handles.h"
#include "platform/utf.h"

namespace platform {

bool CurrentUserSid(std::string& out) {
    out.clear();
    Handle token;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    token.Reset(raw);
    DWORD bytes = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &bytes);
    if (bytes == 0) return false;
    std::vector<BYTE> info(bytes);
    if (!::GetTokenInformation(token.Get(), TokenUser, info.data(), bytes, &bytes)) return false;
    LocalMem text;  // the system's text, freed on return
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(info.data())->User.Sid, text.Out<wchar_t>()))
        return false;
    const wchar_t* sid = static_cast<const wchar_t*>(text.Get());
    return ToUtf8(sid, std::char_traits<wchar_t>::length(sid), out);
}

}  // namespace platform
