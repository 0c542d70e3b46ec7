#include "locate/discovery.h"
#include <string>
#include <utility>
#include <vector>
#include "common/ids.h"
#include "common/path.h"
#include "platform/dir.h"
#include "platform/opendialog.h"
#include "platform/reg.h"
#include "platform/account.h"
#include "platform/strings.h"
#include "platform/user_hive.h"
#include "platform/window.h"

namespace locate {
using namespace common;

namespace {

const char kInstallMarker[] = "Kestrin.exe";
const char kSharedMarker[] = "WMF.F32";
const char kSharedKey[] = "Software\\Vantor Corp.\\Vantor";
const char kSharedValue[] = "Vantor Directory";
const char kOpenCommandTail[] = "\\shell\\open\\command";

// One of the two open-file questions.
struct Question {
    UINT titleId;
    const char* pattern;
    const char* initialName;
};
const Question kAskInstall = {IDS_LOCATE_KESTRIN, "*.exe", kInstallMarker};
const Question kAskShared = {IDS_LOCATE_WMF, "*.f32", kSharedMarker};

// True when folder\marker exists.
bool FolderHolds(const std::string& folder, const char* marker) { return FileExists(JoinPath(folder, marker)); }

// Asks the user for a file and cuts the answer to its folder. False when
// cancelled or when the dialog failed; the dialog's own error code is of no
// use to anyone here.
bool AskFolder(HWND owner, const Question& q, std::string& folder) {
    std::string title = platform::LoadText(q.titleId), file;
    if (!platform::AskOpenFile(owner, title.c_str(), q.pattern, q.initialName, file)) return false;
    folder = FolderOf(file);
    return true;
}

// The start-up question: accepted only when the marker is in the folder.
bool AskFolderHolding(const Question& q, const char* marker, std::string& dest) {
    std::string folder;
    if (!AskFolder(nullptr, q, folder) || !FolderHolds(folder, marker)) return false;
    dest = folder;
    return true;
}

// Folders are kept without a trailing "\"; a drive root keeps its own.
void DropTrailingSeparator(std::string& folder) {
    if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
}

// Reads the open command of a document extension (".ksd") from the classes
// below `root`\`classes` ("" for HKEY_CLASSES_ROOT, "Software\Classes\"
// elsewhere): extension -> ProgID -> ProgID\shell\open\command, with its
// first and last double quote removed. Read-only: no key is ever created.
// False (command empty) when any key or value is missing or empty.
bool LookupOpenCommand(HKEY root, const std::string& classes, const char* extension, std::string& command) {
    command.clear();
    std::string progId, text;
    if (!platform::RegReadDefault(root, (classes + extension).c_str(), progId) || progId.empty()) return false;
    if (!platform::RegReadDefault(root, (classes + progId + kOpenCommandTail).c_str(), text)) return false;
    StripQuotes(text);
    command = text;
    return !command.empty();
}

// The install folder the association below `root` names, when it holds the program.
bool InstallFolderAt(HKEY root, const std::string& classes, std::string& dest) {
    std::string command;
    if (!LookupOpenCommand(root, classes, ".ksd", command)) return false;
    std::string folder = FolderOf(command);
    if (!IsFullPath(folder) || !FolderHolds(folder, kInstallMarker)) return false;
    dest = folder;
    return true;
}

// The shared folder "Vantor Directory" below `root` names, when it holds the marker.
bool SharedFolderAt(HKEY root, std::string& dest) {
    std::string folder;
    platform::Key key;
    if (!platform::RegOpen(root, kSharedKey, KEY_READ, key) || !platform::RegReadText(key.Get(), kSharedValue, folder))
        return false;
    StripQuotes(folder);
    DropTrailingSeparator(folder);
    if (!IsFullPath(folder) || !FolderHolds(folder, kSharedMarker)) return false;
    dest = folder;
    return true;
}

// Every user profile of the machine but the running account's own (that is
// HKEY_CURRENT_USER), each read through its root by `read`; a hive that
// cannot be opened is noted in `why`.
template <class Read>
void ForOtherProfiles(std::string& why, Read read) {
    std::string self;
    platform::CurrentUserSid(self);
    for (const platform::UserProfile& p : platform::ListUserProfiles()) {
        if (PathsEqual(p.sid, self)) continue;
        platform::UserHive hive;
        if (!hive.Open(p, KEY_READ)) {
            why += "the profile " + p.sid + " (" + p.hiveFile + ") could not be read (error " +
                   std::to_string(::GetLastError()) + "); ";
            continue;
        }
        read(p, hive.Root());
    }
}

}  // namespace

bool HoldsInstallation(const std::string& folder) { return FolderHolds(folder, kInstallMarker); }

// A folder from the registry counts only as a full path: "C:" or "Vantor"
// would be taken from whatever drive or folder is current, and everything
// that names that drive or folder would then be rewritten as the product's.
bool FindInstallFolder(std::string& dest) {
    if (InstallFolderAt(HKEY_CLASSES_ROOT, "", dest) ||
        InstallFolderAt(HKEY_LOCAL_MACHINE, "Software\\Classes\\", dest))
        return true;
    std::string found, unread;
    ForOtherProfiles(unread, [&](const platform::UserProfile&, HKEY root) {
        if (found.empty()) InstallFolderAt(root, "Software\\Classes\\", found);
    });
    if (!found.empty()) {
        dest = found;
        return true;
    }
    return AskFolderHolding(kAskInstall, kInstallMarker, dest);
}

SharedSearch FindSharedFolder(std::string& dest, std::string& why) {
    why.clear();
    if (SharedFolderAt(HKEY_CURRENT_USER, dest)) return SharedSearch::kFound;
    std::vector<std::pair<std::string, std::string>> named;  // profile, folder
    ForOtherProfiles(why, [&](const platform::UserProfile& p, HKEY root) {
        std::string folder;
        if (SharedFolderAt(root, folder)) named.emplace_back(p.sid, folder);
    });
    bool agree = true;
    for (const auto& n : named) agree = agree && PathsEqual(n.second, named[0].second);
    if (!agree) {
        why = "the user profiles name different shared folders: ";
        for (const auto& n : named) why += n.first + ": " + n.second + (&n == &named.back() ? "" : "; ");
        return SharedSearch::kDisagree;
    }
    if (!named.empty()) {
        dest = named[0].second;
        return SharedSearch::kFound;
    }
    std::string fallback = platform::LoadText(IDS_OLD_SHARED);
    if (FolderHolds(fallback, kSharedMarker)) {
        dest = fallback;
        return SharedSearch::kFound;
    }
    return AskFolderHolding(kAskShared, kSharedMarker, dest) ? SharedSearch::kFound : SharedSearch::kNotFound;
}

bool AskInstallFolder(HWND owner, std::string& dest) { return AskFolder(owner, kAskInstall, dest); }

}  // namespace locate
