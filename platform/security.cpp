#include "platform/security.h"
#include <aclapi.h>
#include <sddl.h>
#include <string>
#include "platform/account.h"
#include "platform/utf.h"

namespace platform {

namespace {

bool Descriptor(const std::string& sddl, LocalMem& sd) {
    std::wstring w;
    return ToWide(sddl.c_str(), w) &&
           ::ConvertStringSecurityDescriptorToSecurityDescriptorW(w.c_str(), SDDL_REVISION_1, sd.Out<void>(), nullptr);
}

bool CreateFolderWith(const char* path, const std::string& sddl) {
    std::wstring wpath;
    LocalMem sd;
    if (!ToWidePath(path, wpath) || !Descriptor(sddl, sd)) return false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd.Get(), FALSE};
    return ::CreateDirectoryW(wpath.c_str(), &sa) != 0;
}

std::string SidText(PSID sid) {
    LocalMem text;
    std::string out;
    if (!sid || !::ConvertSidToStringSidW(sid, text.Out<wchar_t>())) return out;
    const wchar_t* w = static_cast<const wchar_t*>(text.Get());
    ToUtf8(w, std::char_traits<wchar_t>::length(w), out);
    return out;
}

std::string WellKnown(WELL_KNOWN_SID_TYPE type) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    return ::CreateWellKnownSid(type, nullptr, sid, &size) ? SidText(sid) : std::string();
}

// Fills `out` from a descriptor the system handed out.
bool Unpack(PSID owner, PACL dacl, PSECURITY_DESCRIPTOR sd, ObjectSecurity& out) {
    out = ObjectSecurity();
    out.owner = SidText(owner);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!::GetSecurityDescriptorControl(sd, &control, &revision)) return false;
    out.hasDacl = (control & SE_DACL_PRESENT) && dacl;
    if (!out.hasDacl) return true;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!::GetAce(dacl, i, &ace)) return false;
        auto* header = static_cast<ACE_HEADER*>(ace);
        // Only the plain kinds carry a SID at SidStart; object and callback
        // entries are other shapes: an allow entry of those counts as one
        // for everyone, so that nothing unknown passes as harmless.
        AccessEntry e;
        e.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
            auto* plain = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            e.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
            e.mask = plain->Mask;
            e.sid = SidText(&plain->SidStart);
        } else {
            e.allow =
                header->AceType != ACCESS_DENIED_OBJECT_ACE_TYPE && header->AceType != ACCESS_DENIED_CALLBACK_ACE_TYPE;
            e.mask = e.allow ? GENERIC_ALL : 0;
            e.sid = WellKnown(WinWorldSid);
        }
        out.dacl.push_back(e);
    }
    return true;
}

}  // namespace

bool CreatePrivateFolder(const char* path) {
    std::string sid;
    if (!CurrentUserSid(sid)) return false;
    // P: not inherited from the parent; OICI: files and folders below inherit it.
    return CreateFolderWith(path, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + sid + ")");
}

bool CreateAdminFolder(const char* path) {
    const std::string readers = "(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";
    if (CreateFolderWith(path, "O:BAD:P" + readers)) return true;
    if (::GetLastError() != ERROR_INVALID_OWNER) return false;
    std::string sid;
    if (!CurrentUserSid(sid)) return false;
    return CreateFolderWith(path, "D:P" + readers + "(A;OICI;FA;;;" + sid + ")");
}

bool ReadPathSecurity(const char* path, ObjectSecurity& out) {
    std::wstring w;
    if (!ToWidePath(path, w)) return false;
    // The object at the name itself, never what a link there points at.
    Handle h(::CreateFileW(w.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!h.Valid()) return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalMem sd;
    DWORD e = ::GetSecurityInfo(h.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                                nullptr, &dacl, nullptr, sd.Out<void>());
    if (e != ERROR_SUCCESS) {
        ::SetLastError(e);
        return false;
    }
    return Unpack(owner, dacl, sd.Get(), out);
}

bool ReadObjectSecurity(HANDLE object, ObjectSecurity& out) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    LocalMem sd;
    DWORD e = ::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                &owner, nullptr, &dacl, nullptr, sd.Out<void>());
    if (e != ERROR_SUCCESS) {
        ::SetLastError(e);
        return false;
    }
    return Unpack(owner, dacl, sd.Get(), out);
}

std::string SystemSid() { return WellKnown(WinLocalSystemSid); }
std::string AdministratorsSid() { return WellKnown(WinBuiltinAdministratorsSid); }

std::string AccountName(const std::string& sid) {
    std::wstring w;
    LocalMem binary;
    if (!ToWide(sid.c_str(), w) || !::ConvertStringSidToSidW(w.c_str(), binary.Out<void>())) return sid;
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (!::LookupAccountSidW(nullptr, binary.Get(), name, &nameSize, domain, &domainSize, &use)) return sid;
    std::string n, d;
    if (!ToUtf8(name, nameSize, n) || !ToUtf8(domain, domainSize, d)) return sid;
    return d.empty() ? n : d + "\\" + n;
}

bool CreateGuardedMutex(const char* name, const char* sddl, Handle& out, bool* existed) {
    out.Reset();
    *existed = false;
    std::wstring w;
    LocalMem sd;
    if (!ToWide(name, w) || !Descriptor(sddl, sd)) return false;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd.Get(), FALSE};
    HANDLE h = ::CreateMutexW(&sa, FALSE, w.c_str());
    DWORD e = ::GetLastError();
    *existed = (h && e == ERROR_ALREADY_EXISTS) || (!h && e == ERROR_ACCESS_DENIED);
    if (!h) return false;
    out.Reset(h);
    return true;
}

bool OpenExistingMutex(const char* name, Handle& out) {
    out.Reset();
    std::wstring w;
    if (!ToWide(name, w)) return false;
    HANDLE h = ::OpenMutexW(SYNCHRONIZE | READ_CONTROL, FALSE, w.c_str());
    if (!h) return false;
    out.Reset(h);
    return true;
}

}  // namespace platform
