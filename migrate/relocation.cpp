// IsAtDefaultPaths and RelocateInstallation, with the check that keeps an
// installation whole.
#include <cstring>
#include <string>
#include "common/ids.h"
#include "common/state.h"
#include "common/path.h"
#include "migrate/relocation.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

static const char kTaken[] = "A file or folder of that name is there already.";
static const char kTooLong[] = "The new path would be longer than 255 characters.";
static const char kNested[] = "The new folder lies inside the installation.";
static const char kNoFolder[] = "The new folder cannot be made.";
static const char kInUse[] = "The file is in use by another program.";

bool IsAtDefaultPaths() {
    if (!PathsEqual(g_state.installFolder, platform::LoadText(IDS_OLD_INSTALL).c_str())) return false;
    return PathsEqual(g_state.sharedFolder, platform::LoadText(IDS_OLD_SHARED).c_str());
}

bool RelocateInstallation() {
    return RelocateInstallationTo(platform::LoadText(IDS_NEW_INSTALL).c_str());
}

// The first item under `from` that cannot be moved to the same place under
// `to`, as the two paths and the reason; *why stays empty when all can go.
// Mirrors what the move walk will do: the same joins, dot-names passed over.
static void FindBlockedItem(const char* from, const char* to, std::string* source, std::string* dest,
                            const char** why) {
    char pattern[kPathCap];
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!JoinPath(pattern, sizeof pattern, from, "*.*")) {
        // A folder this deep can hold nothing whose path fits.
        *source = from;
        *dest = to;
        *why = kTooLong;
        return;
    }
    if (!walk.First(pattern, &e)) return;
    do {
        if (e.name[0] == '.') continue;
        char src[kPathCap], dst[kPathCap];
        *source = std::string(from) + "\\" + e.name;
        *dest = std::string(to) + "\\" + e.name;
        bool fits = JoinPath(src, sizeof src, from, e.name) && JoinPath(dst, sizeof dst, to, e.name);
        // A folder may meet a folder of its name (the walk fills it); nothing else may.
        bool taken = fits && FileExists(dst) && !(e.isFolder && platform::IsFolder(dst));
        if (!fits) {
            *why = kTooLong;
        } else if (taken) {
            *why = kTaken;
        } else if (!e.isFolder && !platform::CheckMovable(src)) {
            *why = kInUse;
        } else if (e.isFolder) {
            FindBlockedItem(src, dst, source, dest, why);
        }
    } while (*why == nullptr && walk.Next(&e));
}

// Shows why nothing is moved, naming the first item that could not go.
static void ShowRelocationRefused(const std::string& source, const std::string& dest, const char* why) {
    std::string text = platform::FormatText(platform::LoadText(IDS_MOVE_ERROR), source.c_str(), dest.c_str());
    text += std::string("\n\n") + why + "\nNothing has been moved: the installation stays in \"" +
            g_state.installFolder + "\".";
    platform::ShowMessage(nullptr, text.c_str(), "Update Error", MB_OK | MB_ICONERROR);
}

// Returns false, after the box, when the move could not succeed whole.
static bool CheckRelocation(const char* newFolder) {
    std::string source = g_state.installFolder, dest = newFolder;
    const char* why = nullptr;
    if (std::strlen(newFolder) >= kPathCap) why = kTooLong;
    else if (FolderLiesInside(newFolder, g_state.installFolder)) why = kNested;
    else FindBlockedItem(g_state.installFolder, newFolder, &source, &dest, &why);
    if (why == nullptr) return true;
    ShowRelocationRefused(source, dest, why);
    return false;
}

// Windows does not remove a process's current directory, so the walk, which
// comes back to the directory it started in before removing the install
// folder, must not start there.
static void LeaveInstallFolder(const char* newFolder) {
    char current[MAX_PATH + 1];
    if (!platform::GetCurrentFolder(current, sizeof current)) return;
    if (SameFolder(current, g_state.installFolder) || FolderLiesInside(current, g_state.installFolder))
        platform::SetCurrentFolder(newFolder);
}

bool RelocateInstallationTo(const char* newFolder) {
    if (!CheckRelocation(newFolder)) return false;
    CreateFolderPath(newFolder);  // may exist already
    if (!platform::IsFolder(newFolder)) {  // every move would fail
        ShowRelocationRefused(g_state.installFolder, newFolder, kNoFolder);
        return false;
    }
    LeaveInstallFolder(newFolder);
    CopyOrMoveTree(g_state.installFolder, newFolder, false);  // reports its own failures
    CopyPath(g_state.finalInstallFolder, kPathCap, newFolder);
    return true;
}
