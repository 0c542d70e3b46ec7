// IsAtDefaultPaths and RelocateInstallation, with the check that keeps an
// installation whole.
#include <cstring>
#include <string>
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/relocation.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/strings.h"

namespace migrate {
using namespace common;

static const char kTaken[] = "A file or folder of that name is there already.";
static const char kTooLong[] = "The new path would be longer than 255 characters.";
static const char kNested[] = "The new folder lies inside the installation.";
static const char kNoFolder[] = "The new folder cannot be made.";
static const char kInUse[] = "The file is in use by another program.";
static const char kLinkStuck[] = "The folder link cannot be moved without what it points to.";
static const char kUnlisted[] = "The folder's contents cannot be read.";

bool IsAtDefaultPaths(const char* installFolder, const char* sharedFolder) {
    return PathsEqual(installFolder, platform::LoadText(IDS_OLD_INSTALL).c_str()) &&
           PathsEqual(sharedFolder, platform::LoadText(IDS_OLD_SHARED).c_str());
}

RelocationResult RelocateInstallation(HWND owner, const char* installFolder, char* finalInstallFolder) {
    std::string newFolder = platform::LoadText(IDS_NEW_INSTALL);
    RelocationResult r = RelocateInstallationTo(owner, installFolder, newFolder.c_str());
    if (r != RelocationResult::kRefused) CopyPath(finalInstallFolder, kPathCap, newFolder.c_str());
    return r;
}

// Why the entry `src` (a folder when isFolder) cannot go to `dst`; null when
// it can, as far as this level can tell.
static const char* BlockOf(const char* src, const char* dst, bool isFolder) {
    bool link = isFolder && platform::IsFolderLink(src);
    if (FileExists(dst)) {
        // A folder may meet a folder of its name (the walk fills it); nothing
        // else may, and no walk writes through a link.
        if (!isFolder || link || !platform::IsFolder(dst) || platform::IsFolderLink(dst)) return kTaken;
    }
    if (link) return platform::CheckFolderLinkMovable(src) ? nullptr : kLinkStuck;
    if (!isFolder && !platform::CheckMovable(src)) return kInUse;
    return nullptr;
}

// The first item under `from` that cannot be moved to the same place under
// `to`, as the two paths and the reason; *why stays null when all can go.
// Mirrors what the move walk will do: the same joins, dot-names passed over,
// folder links not entered.
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
    // A folder whose listing fails or breaks off could hold what the move
    // leaves behind: the check cannot pass it.
    auto unlisted = [&] {
        *source = from;
        *dest = to;
        *why = kUnlisted;
    };
    if (!walk.First(pattern, &e)) {
        if (!walk.Ended()) unlisted();
        return;
    }
    do {
        if (e.name[0] == '.') continue;
        char src[kPathCap], dst[kPathCap];
        *source = std::string(from) + "\\" + e.name;
        *dest = std::string(to) + "\\" + e.name;
        if (!JoinPath(src, sizeof src, from, e.name) || !JoinPath(dst, sizeof dst, to, e.name)) {
            *why = kTooLong;
        } else {
            *why = BlockOf(src, dst, e.isFolder);
            if (*why == nullptr && e.isFolder && !platform::IsFolderLink(src))
                FindBlockedItem(src, dst, source, dest, why);
        }
    } while (*why == nullptr && walk.Next(&e));
    if (*why == nullptr && !walk.Ended()) unlisted();
}

// Shows why nothing is moved, naming the first item that could not go.
static void ShowRelocationRefused(HWND owner, const char* installFolder, const std::string& source,
                                  const std::string& dest, const char* why) {
    std::string text = platform::FormatText(platform::LoadText(IDS_MOVE_ERROR), source.c_str(), dest.c_str());
    text +=
        std::string("\n\n") + why + "\nNothing has been moved: the installation stays in \"" + installFolder + "\".";
    ShowUpdateError(owner, text.c_str());
}

// Returns false, after the box, when the move could not succeed whole.
static bool CheckRelocation(HWND owner, const char* installFolder, const char* newFolder) {
    std::string source = installFolder, dest = newFolder;
    const char* why = nullptr;
    if (std::strlen(newFolder) >= kPathCap)
        why = kTooLong;
    else if (FolderLiesInside(newFolder, installFolder))
        why = kNested;
    else
        FindBlockedItem(installFolder, newFolder, &source, &dest, &why);
    if (why == nullptr) return true;
    ShowRelocationRefused(owner, installFolder, source, dest, why);
    return false;
}

// Windows does not remove a process's current directory, so the walk, which
// comes back to the directory it started in before removing the install
// folder, must not start there.
static void LeaveInstallFolder(const char* installFolder, const char* newFolder) {
    char current[MAX_PATH + 1];
    if (!platform::GetCurrentFolder(current, sizeof current)) return;
    if (SameFolder(current, installFolder) || FolderLiesInside(current, installFolder))
        platform::SetCurrentFolder(newFolder);
}

RelocationResult RelocateInstallationTo(HWND owner, const char* installFolder, const char* newFolder) {
    if (!CheckRelocation(owner, installFolder, newFolder)) return RelocationResult::kRefused;
    if (!CreateFolderPath(newFolder)) {  // every move would fail
        ShowRelocationRefused(owner, installFolder, installFolder, newFolder, kNoFolder);
        return RelocationResult::kRefused;
    }
    LeaveInstallFolder(installFolder, newFolder);
    // The walk reports each item it cannot move in a box of its own.
    bool whole = CopyOrMoveTree(owner, installFolder, newFolder, false) == TreeResult::kDone;
    LogEvent(std::string(whole ? "moved " : "moved, but not whole, ") + installFolder + " to " + newFolder);
    return whole ? RelocationResult::kMoved : RelocationResult::kIncomplete;
}

}  // namespace migrate
