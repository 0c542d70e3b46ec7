#include "locate/discovery.h"
#include <string>
#include "common/ids.h"
#include "common/path.h"
#include "platform/dir.h"
#include "platform/opendialog.h"
#include "platform/reg.h"
#include "platform/strings.h"
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

// Reads the open command of a document extension (".ksd") from
// HKEY_CLASSES_ROOT: extension -> ProgID -> ProgID\shell\open\command,
// with its first and last double quote removed. Read-only: no key is ever
// created. False (command empty) when any key or value is missing or empty.
bool LookupOpenCommand(const char* extension, std::string& command) {
    command.clear();
    std::string progId, text;
    if (!platform::RegReadDefault(HKEY_CLASSES_ROOT, extension, progId) || progId.empty()) return false;
    if (!platform::RegReadDefault(HKEY_CLASSES_ROOT, (progId + kOpenCommandTail).c_str(), text)) return false;
    StripQuotes(text);
    command = text;
    return !command.empty();
}

}  // namespace

bool HoldsInstallation(const std::string& folder) { return FolderHolds(folder, kInstallMarker); }

// A folder from the registry counts only as a full path: "C:" or "Vantor"
// would be taken from whatever drive or folder is current, and everything
// that names that drive or folder would then be rewritten as the product's.
bool FindInstallFolder(std::string& dest) {
    std::string command;
    if (LookupOpenCommand(".ksd", command)) {
        std::string folder = FolderOf(command);
        if (IsFullPath(folder) && FolderHolds(folder, kInstallMarker)) {
            dest = folder;
            return true;
        }
    }
    return AskFolderHolding(kAskInstall, kInstallMarker, dest);
}

bool FindSharedFolder(std::string& dest) {
    std::string folder;
    platform::Key key;
    if (platform::RegOpen(HKEY_CURRENT_USER, kSharedKey, KEY_READ, key) &&
        platform::RegReadText(key.Get(), kSharedValue, folder)) {
        StripQuotes(folder);
        DropTrailingSeparator(folder);
        if (IsFullPath(folder) && FolderHolds(folder, kSharedMarker)) {
            dest = folder;
            return true;
        }
    }
    return AskFolderHolding(kAskShared, kSharedMarker, dest);
}

bool AskInstallFolder(HWND owner, std::string& dest) { return AskFolder(owner, kAskInstall, dest); }

}  // namespace locate
