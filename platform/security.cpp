#include "platform/security.h"
#include <sddl.h>
#include <string>
#include "platform/account.h"
#include "platform/handles.h"
#include "platform/utf.h"

namespace platform {

bool CreatePrivateFolder(const char* path) {
    std::wstring wpath;
    if (!ToWidePath(path, wpath)) return false;
    std::string sid;
    if (!CurrentUserSid(sid)) return false;
    // P: not inherited from the parent; OICI: files and folders below inherit it.
    std::wstring sddl;
    if (!ToWide((std::string("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + sid + ")").c_str(), sddl))
        return false;
    LocalMem sd;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, sd.Out<void>(), nullptr))
        return false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd.Get(), FALSE};
    return ::CreateDirectoryW(wpath.c_str(), &sa) != 0;
}

}  // namespace platform
