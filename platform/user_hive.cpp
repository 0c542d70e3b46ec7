#include "platform/user_hive.h"
#include <cstring>
#include "platform/reg.h"
#include "platform/utf.h"

namespace platform {

namespace {

const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
const char kOurPrefix[] = "Dovetra Update ";

// The names of the direct subkeys of `key`, as UTF-8.
std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    RegKeyInfo info;
    if (!RegQueryInfo(key, info)) return names;
    std::vector<wchar_t> name(info.maxSubKeyLen + 1);
    for (DWORD i = 0; i < info.subKeys; ++i) {
        DWORD len = static_cast<DWORD>(name.size());
        std::string text;
        if (RegEnumKeyAt(key, i, name.data(), &len) && ToUtf8(name.data(), len, text)) names.push_back(text);
    }
    return names;
}

bool SameSid(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
    return true;
}

}  // namespace

bool IsUserSid(const std::string& sid) {
    const char kHead[] = "S-1-5-21-";
    if (sid.size() <= sizeof kHead - 1 || !SameSid(sid.substr(0, sizeof kHead - 1), kHead)) return false;
    return sid.find_first_not_of("0123456789-", sizeof kHead - 1) == std::string::npos;
}

std::vector<UserProfile> ListUserProfiles() {
    std::vector<UserProfile> out;
    for (const std::string& name : SubkeyNames(HKEY_USERS))
        if (IsUserSid(name)) out.push_back(UserProfile{name, "", true});
    Key list;
    if (!RegOpen(HKEY_LOCAL_MACHINE, kProfileList, KEY_READ, list)) return out;
    for (const std::string& sid : SubkeyNames(list.Get())) {
        if (!IsUserSid(sid)) continue;
        Key entry;
        std::string folder;
        if (!RegOpen(list.Get(), sid.c_str(), KEY_READ, entry) ||
            !RegReadText(entry.Get(), "ProfileImagePath", folder) || folder.empty())
            continue;
        std::string hive = folder + (folder.back() == '\\' ? "" : "\\") + "NTUSER.DAT";
        bool known = false;
        for (UserProfile& p : out)
            if (SameSid(p.sid, sid)) {
                p.hiveFile = hive;
                known = true;
            }
        if (!known) out.push_back(UserProfile{sid, hive, false});
    }
    return out;
}

bool EnablePrivilege(const wchar_t* name) {
    Handle token;
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return false;
    token.Reset(raw);
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueW(nullptr, name, &tp.Privileges[0].Luid)) return false;
    // Succeeds without the privilege, saying so only through the last error.
    if (!::AdjustTokenPrivileges(token.Get(), FALSE, &tp, 0, nullptr, nullptr)) return false;
    return ::GetLastError() == ERROR_SUCCESS;
}

bool UserHive::Open(const UserProfile& profile, REGSAM access) {
    Close();
    if (profile.loaded) {
        label_ = "HKEY_USERS\\" + profile.sid;
        return RegOpen(HKEY_USERS, profile.sid.c_str(), access, root_);
    }
    std::wstring name, file;
    if (!ToWide((kOurPrefix + profile.sid).c_str(), name) || !ToWide(profile.hiveFile.c_str(), file)) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    if (!EnablePrivilege(L"SeRestorePrivilege") || !EnablePrivilege(L"SeBackupPrivilege")) return false;
    ::RegUnLoadKeyW(HKEY_USERS, name.c_str());  // left by a run that was cut off; none is no error
    LONG rc = ::RegLoadKeyW(HKEY_USERS, name.c_str(), file.c_str());
    if (rc != ERROR_SUCCESS) {
        ::SetLastError(static_cast<DWORD>(rc));
        return false;
    }
    loadedAs_ = name;
    label_ = "HKEY_USERS\\" + std::string(kOurPrefix) + profile.sid;
    if (RegOpenSub(HKEY_USERS, name.c_str(), access, root_)) return true;
    DWORD error = ::GetLastError();
    Close();
    ::SetLastError(error);
    return false;
}

bool UserHive::Close() {
    root_.Reset();
    if (loadedAs_.empty()) return true;
    LONG rc = ::RegUnLoadKeyW(HKEY_USERS, loadedAs_.c_str());
    loadedAs_.clear();
    ::SetLastError(static_cast<DWORD>(rc));
    return rc == ERROR_SUCCESS;
}

}  // namespace platform
