// IsAtDefaultPaths and RelocateInstallation, with the check that keeps an
// installation whole.
#include "migrate/relocation.h"
#include <string>
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/volume.h"

namespace migrate {
using namespace common;

static const char kTaken[] = "A file or folder of that name is there already.";
static const char kNested[] = "The new folder lies inside the installation.";
static const char kInUse[] = "The file is in use by another program.";
static const char kFolderInUse[] = "The folder is in use by another program (open in it, or its current folder).";
static const char kLinkOtherDrive[] = "The folder link cannot be moved to another drive without what it points to.";
static const char kLinkStuck[] =
    "The folder link can be moved here only with the whole installation, and the new folder holds files.";
static const char kUnlisted[] = "The folder's contents cannot be read.";

bool IsAtDefaultPaths(const std::string& installFolder, const std::string& sharedFolder) {
    return PathsEqual(installFolder, platform::LoadText(IDS_OLD_INSTALL)) &&
           PathsEqual(sharedFolder, platform::LoadText(IDS_OLD_SHARED));
}

std::string NewInstallFolder() { return platform::LoadText(IDS_NEW_INSTALL); }

namespace {

// What the check found beyond its problems.
struct MoveCheck {
    Outcome out;
    std::string current;  // this process's current directory: the move leaves it first
    bool whole = false;   // a folder link goes only with the install folder renamed whole
};

// The move's rule for a folder link `src` that is to go to `dst`: the link
// itself is renamed, never what it points to, which the system can do only
// on one volume. Where it opens what the link points to instead of the link
// (Wine's host links), the link goes with its folder: the install folder is
// renamed whole. Null when it can go (*whole then says how); else why not,
// with the system's code in *error.
const char* FolderLinkRule(const std::string& src, const std::string& dst, bool* whole, DWORD* error) {
    std::string from, to;
    if (!platform::VolumeOf(FolderOf(src).c_str(), from) || !platform::VolumeOf(dst.c_str(), to)) {
        *error = platform::LastError();
        return kLinkOtherDrive;
    }
    if (!PathsEqual(from, to)) return kLinkOtherDrive;
    if (platform::CheckFolderLinkMovable(src.c_str())) return nullptr;
    *error = platform::LastError();
    if (*error != ERROR_NOT_SUPPORTED) return kFolderInUse;
    *whole = true;
    return nullptr;
}

// Why the entry `src` (a folder when isFolder) cannot go to `dst`; null when
// it can, as far as this level can tell.
const char* BlockOf(MoveCheck& c, const std::string& src, const std::string& dst, bool isFolder, DWORD* error) {
    bool link = isFolder && platform::IsFolderLink(src.c_str());
    if (FileExists(dst)) {
        // A folder may meet a folder of its name (the walk fills it), a file
        // its own earlier move; nothing else may, and no walk writes through
        // a link.
        bool folderIntoFolder =
            isFolder && !link && platform::IsFolder(dst.c_str()) && !platform::IsFolderLink(dst.c_str());
        bool earlierMove = !isFolder && !platform::IsFolder(dst.c_str()) && IsEarlierMove(src, dst);
        if (!folderIntoFolder && !earlierMove) return kTaken;
    }
    if (link) return FolderLinkRule(src, dst, &c.whole, error);
    // A folder is emptied and removed: it must open for deletion too, unless
    // it is (or holds) this process's own current directory, which the move
    // leaves first.
    if (isFolder && !c.current.empty() && (SameFolder(c.current, src) || FolderLiesInside(c.current, src)))
        return nullptr;
    if (platform::CheckMovable(src.c_str())) return nullptr;
    *error = platform::LastError();
    return isFolder ? kFolderInUse : kInUse;
}

// Every item under `from` that cannot be moved to the same place under `to`.
// Mirrors what the move walk will do: dot-names passed over, folder links
// not entered.
void FindBlockedItems(MoveCheck& c, const std::string& from, const std::string& to) {
    platform::DirWalk walk;
    platform::DirEntry e;
    bool any = walk.First(JoinPath(from, "*.*").c_str(), &e);
    if (any) {
        do {
            if (e.name[0] == '.') continue;
            std::string src = JoinPath(from, e.name), dst = JoinPath(to, e.name);
            DWORD error = 0;
            if (const char* why = BlockOf(c, src, dst, e.isFolder, &error))
                c.out.Add(Problem{src, dst, why, error});
            else if (e.isFolder && !platform::IsFolderLink(src.c_str()))
                FindBlockedItems(c, src, dst);
        } while (walk.Next(&e));
    }
    // A folder whose listing fails or breaks off could hold what the move
    // leaves behind: the check cannot pass it.
    if (!walk.Ended()) c.out.Add(Problem{from, to, kUnlisted, 0});
}

// True when `folder` is missing or an empty folder (no entry at all).
bool MissingOrEmpty(const std::string& folder) {
    if (!platform::PathExists(folder.c_str())) return true;
    if (!platform::IsFolder(folder.c_str()) || platform::IsFolderLink(folder.c_str())) return false;
    platform::DirWalk walk;
    platform::DirEntry e;
    if (walk.First(JoinPath(folder, "*.*").c_str(), &e)) {
        do {
            if (e.name != "." && e.name != "..") return false;
        } while (walk.Next(&e));
    }
    return walk.Ended();
}

MoveCheck Check(const std::string& installFolder, const std::string& newFolder) {
    MoveCheck c;
    if (!platform::IsFolder(installFolder.c_str()) && platform::IsFolder(newFolder.c_str())) return c;
    platform::GetCurrentFolder(c.current);
    if (FolderLiesInside(newFolder, installFolder) || SameFolder(newFolder, installFolder)) {
        c.out.Add(Problem{installFolder, newFolder, kNested, 0});
    } else if (FileExists(newFolder) && !platform::IsFolder(newFolder.c_str())) {
        c.out.Add(Problem{newFolder, newFolder, kTaken, 0});
    } else {
        FindBlockedItems(c, installFolder, newFolder);
        if (c.whole && !MissingOrEmpty(newFolder)) c.out.Add(Problem{installFolder, newFolder, kLinkStuck, 0});
    }
    return c;
}

// Windows does not remove a process's current directory, so the walk must
// not leave it in the install folder; a folder renamed whole must not be
// it either. Returns whether it was moved to `to`.
bool LeaveInstallFolder(const std::string& installFolder, const std::string& to) {
    std::string current;
    if (!platform::GetCurrentFolder(current)) return false;
    if (!SameFolder(current, installFolder) && !FolderLiesInside(current, installFolder)) return false;
    return platform::SetCurrentFolder(to.c_str());
}

// The install folder renamed to `newFolder` in one step (one volume), folder
// links inside it and all: the way a link goes where the system cannot
// rename the link alone. All or nothing.
Outcome RenameWhole(const std::string& installFolder, const std::string& newFolder) {
    Outcome out;
    bool left = LeaveInstallFolder(installFolder, FolderOf(installFolder));
    CreateFolderPath(FolderOf(newFolder));
    if (platform::IsFolder(newFolder.c_str())) platform::RemoveFolder(newFolder.c_str());  // empty, checked
    bool renamed = false;
    // A run of the engine that has only just ended may still hold the
    // folder for a moment.
    for (int i = 0; i < 30 && !(renamed = platform::RenameItem(installFolder.c_str(), newFolder.c_str())); ++i)
        platform::Pause(100);
    if (!renamed) out.Add(Problem{installFolder, newFolder, "", platform::LastError()});
    if (left) platform::SetCurrentFolder((renamed ? newFolder : installFolder).c_str());
    LogEvent((renamed ? "moved (renamed whole, with its folder links) " : "not moved: ") + installFolder + " to " +
             newFolder);
    return out;
}

}  // namespace

Outcome CheckRelocation(const std::string& installFolder, const std::string& newFolder) {
    return Check(installFolder, newFolder).out;
}

Outcome RelocateInstallation(const std::string& installFolder, const std::string& newFolder, const StopCheck& stop) {
    MoveCheck c = Check(installFolder, newFolder);
    Outcome out = c.out;
    if (!out.Ok() || !platform::IsFolder(installFolder.c_str())) return out;
    if (c.whole) return RenameWhole(installFolder, newFolder);
    if (!CreateFolderPath(newFolder)) {  // every move would fail
        out.Add(Problem{installFolder, newFolder, "", platform::LastError()});
        return out;
    }
    LeaveInstallFolder(installFolder, newFolder);
    out = CopyOrMoveTree(installFolder, newFolder, false, stop);
    // The engine worked in the old folder as its current directory: a run of
    // it that has only just ended may still hold the folder for a moment,
    // and the emptied folder would stay behind.
    for (int i = 0; i < 30 && out.Ok() && platform::IsFolder(installFolder.c_str()) &&
                    !platform::RemoveFolder(installFolder.c_str());
         ++i)
        platform::Pause(100);
    LogEvent((out.Ok()      ? "moved "
              : out.stopped ? "move stopped, to be finished: "
                            : "moved, but not whole, ") +
             installFolder + " to " + newFolder);
    return out;
}

}  // namespace migrate
