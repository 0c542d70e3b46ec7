#include "common/record_guard.h"
#include <shlobj.h>
#include "common/path.h"
#include "platform/account.h"
#include "platform/error.h"
#include "platform/shell.h"

namespace common {

namespace {

// Equal to `top`, or below it, without case.
bool AtOrBelow(const std::string& path, const std::string& top) {
    if (top.empty() || path.size() < top.size()) return false;
    if (!PathsEqual(path.substr(0, top.size()), top)) return false;
    return path.size() == top.size() || path[top.size()] == '\\' || top.back() == '\\';
}

// A part that means another name than it spells: "", ".", "..", or one
// that ends in "." or " " (Windows drops those).
bool HasOddPart(const std::string& p) {
    size_t at = p.compare(0, 2, "\\\\") == 0 ? 2 : 0;
    if (p.size() >= 3 && p[1] == ':') at = 3;
    while (at < p.size()) {
        size_t end = p.find('\\', at);
        std::string part = p.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (part.empty() || part.back() == '.' || part.back() == ' ') return true;
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return false;
}

}  // namespace

TrustedSids ProcessTrustedSids() {
    TrustedSids t;
    t.system = platform::SystemSid();
    t.administrators = platform::AdministratorsSid();
    platform::CurrentUserSid(t.self);
    return t;
}

Distrust DistrustOf(const platform::ObjectSecurity& s, const TrustedSids& trusted, uint32_t rights) {
    Distrust d;
    if (!trusted.Holds(s.owner)) {
        d.kind = Distrust::kOwner;
        d.sid = s.owner;
    } else if (!s.hasDacl) {
        d.kind = Distrust::kNoList;
    } else {
        for (const platform::AccessEntry& e : s.dacl) {
            if (!e.allow || e.inheritOnly || !(e.mask & rights) || trusted.Holds(e.sid)) continue;
            d.kind = Distrust::kGrant;
            d.sid = e.sid;
            break;
        }
    }
    return d;
}

std::string DescribeDistrust(const Distrust& d) {
    switch (d.kind) {
    case Distrust::kNone: return "";
    case Distrust::kOwner: return "owned by " + (d.sid.empty() ? std::string("nobody") : platform::AccountName(d.sid));
    case Distrust::kNoList: return "writable by everyone (it has no access list)";
    case Distrust::kGrant: return "writable by " + platform::AccountName(d.sid);
    }
    return "";
}

SystemFolders ProcessSystemFolders() {
    SystemFolders s;
    platform::SpecialFolderPath(nullptr, CSIDL_WINDOWS, s.windows);
    for (int csidl : {CSIDL_COMMON_APPDATA, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                      CSIDL_PROFILE, CSIDL_COMMON_DOCUMENTS, CSIDL_LOCAL_APPDATA, CSIDL_APPDATA}) {
        std::string folder;
        if (platform::SpecialFolderPath(nullptr, csidl, folder) && !folder.empty()) s.whole.push_back(folder);
        if (csidl == CSIDL_PROFILE && !folder.empty()) s.whole.push_back(FolderOf(folder));  // the users' folder
    }
    return s;
}

std::string RecordFolderProblem(const std::string& folder, const SystemFolders& system) {
    if (!IsFullPath(folder)) return "is not a full path";
    if (folder.compare(0, 4, "\\\\?\\") == 0 || folder.compare(0, 4, "\\\\.\\") == 0) return "is a device path";
    if (folder.find('/') != std::string::npos || HasOddPart(folder)) return "names another folder than it spells";
    if (AtOrBelow(folder, system.windows)) return "is the Windows folder or below it";
    for (const std::string& top : system.whole)
        if (AtOrBelow(top, folder)) return "is a folder of the system (" + top + ") or above one";
    return "";
}

std::string RecordContentsProblem(const UpdateRecord& r, const SystemFolders& system) {
    std::vector<std::string> folders = {r.installFolder, r.sharedFolder, r.finalInstallFolder};
    for (const auto& s : r.shortForms) {
        folders.push_back(s.first);
        folders.push_back(s.second);
    }
    for (const std::string& f : folders) {
        std::string why = RecordFolderProblem(f, system);
        if (!why.empty()) return "it names \"" + f + "\", which " + why;
    }
    return "";
}

std::string RightsProblem(const std::string& item) {
    platform::ObjectSecurity s;
    if (!platform::ReadPathSecurity(item.c_str(), s))
        return "the owner and rights of \"" + item + "\" cannot be read (" +
               platform::ErrorDescription(platform::LastError()) + ")";
    std::string why = DescribeDistrust(DistrustOf(s, ProcessTrustedSids(), kChangeRights));
    return why.empty() ? why : "\"" + item + "\" is " + why;
}

std::string RecordRightsProblem(const std::string& path) {
    std::string why = RightsProblem(path);
    return why.empty() ? RightsProblem(FolderOf(path)) : why;
}

}  // namespace common
