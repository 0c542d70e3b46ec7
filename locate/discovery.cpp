#include "locate/discovery.h"
#include <cstring>
#include <string>
#include "common/ids.h"
#include "common/path.h"
#include "common/state.h"
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

// True when folder\marker exists; false too when that path does not fit.
bool FolderHolds(const char* folder, const char* marker) {
    char path[kPathCap];
    return JoinPath(path, sizeof path, folder, marker) && FileExists(path);
}

// Asks the user for a file and cuts the answer to its folder, in `folder`
// (kPathCap bytes). False when cancelled or when the dialog failed; the
// dialog's own error code is of no use to anyone here.
bool AskFolder(HWND owner, const Question& q, char* folder) {
    std::string title = platform::LoadText(q.titleId);
    if (!platform::AskOpenFile(owner, title.c_str(), q.pattern, q.initialName, folder, kPathCap)) return false;
    CutToFolder(folder);
    return true;
}

// The start-up question: accepted only when the marker is in the folder.
bool AskFolderHolding(const Question& q, const char* marker, char* dest) {
    char folder[kPathCap];
    if (!AskFolder(nullptr, q, folder) || !FolderHolds(folder, marker)) return false;
    return CopyPath(dest, kPathCap, folder);
}

// Folders are kept without a trailing "\"; a drive root keeps its own.
void DropTrailingSeparator(char* folder) {
    size_t n = std::strlen(folder);
    if (n > 3 && folder[n - 1] == '\\') folder[n - 1] = 0;
}

// Reads the open command of a document extension (".ksd") from
// HKEY_CLASSES_ROOT: extension -> ProgID -> ProgID\shell\open\command,
// with its first and last double quote removed, into command (cap bytes).
// Read-only: no key is ever created. False (command empty) when any key or
// value is missing or empty, or when a name or the command does not fit.
bool LookupOpenCommand(const char* extension, char* command, size_t cap) {
    if (cap == 0) return false;
    command[0] = 0;
    char progId[kPathCap];
    if (!platform::RegReadDefault(HKEY_CLASSES_ROOT, extension, progId, sizeof progId) || !progId[0]) return false;
    char key[kPathCap];
    if (std::strlen(progId) + sizeof kOpenCommandTail > sizeof key) return false;
    std::strcpy(key, progId);
    std::strcat(key, kOpenCommandTail);
    char text[kPathCap];
    if (!platform::RegReadDefault(HKEY_CLASSES_ROOT, key, text, sizeof text)) return false;
    StripQuotes(text);
    return text[0] != 0 && CopyPath(command, cap, text);
}

}  // namespace

bool HoldsInstallation(const char* folder) { return FolderHolds(folder, kInstallMarker); }

// A folder from the registry counts only as a full path: "C:" or "Vantor"
// would be taken from whatever drive or folder is current, and everything
// that names that drive or folder would then be rewritten as the product's.
bool FindInstallFolder(char* dest) {
    char command[kPathCap];
    if (LookupOpenCommand(".ksd", command, sizeof command)) {
        CutToFolder(command);
        if (IsFullPath(command) && FolderHolds(command, kInstallMarker)) return CopyPath(dest, kPathCap, command);
    }
    return AskFolderHolding(kAskInstall, kInstallMarker, dest);
}

bool FindSharedFolder(char* dest) {
    char folder[kPathCap];
    platform::Key key;
    if (platform::RegOpen(HKEY_CURRENT_USER, kSharedKey, KEY_READ, key) &&
        platform::RegReadText(key.Get(), kSharedValue, folder, sizeof folder)) {
        StripQuotes(folder);
        DropTrailingSeparator(folder);
        if (IsFullPath(folder) && FolderHolds(folder, kSharedMarker)) return CopyPath(dest, kPathCap, folder);
    }
    return AskFolderHolding(kAskShared, kSharedMarker, dest);
}

bool AskInstallFolder(HWND owner, char* dest) {
    char folder[kPathCap];
    return AskFolder(owner, kAskInstall, folder) && CopyPath(dest, kPathCap, folder);
}

}  // namespace locate
