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

namespace migrate {
using namespace common;

static const char kTaken[] = "A file or folder of that name is there already.";
static const char kNested[] = "The new folder lies inside the installation.";
static const char kInUse[] = "The file is in use by another program.";
static const char kLinkStuck[] = "The folder link cannot be moved without what it points to.";
static const char kUnlisted[] = "The folder's contents cannot be read.";

bool IsAtDefaultPaths(const std::string& installFolder, const std::string& sharedFolder) {
    return PathsEqual(installFolder, platform::LoadText(IDS_OLD_INSTALL)) &&
           PathsEqual(sharedFolder, platform::LoadText(IDS_OLD_SHARED));
}

std::string NewInstallFolder() { return platform::LoadText(IDS_NEW_INSTALL); }

namespace {

// Why the entry `src` (a folder when isFolder) cannot go to `dst`; null when
// it can, as far as this level can tell.
const char* BlockOf(const std::string& src, const std::string& dst, bool isFolder) {
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
    if (link) return platform::CheckFolderLinkMovable(src.c_str()) ? nullptr : kLinkStuck;
    if (!isFolder && !platform::CheckMovable(src.c_str())) return kInUse;
    return nullptr;
}

// Every item under `from` that cannot be moved to the same place under `to`.
// Mirrors what the move walk will do: dot-names passed over, folder links
// not entered.
void FindBlockedItems(const std::string& from, const std::string& to, Outcome& out) {
    platform::DirWalk walk;
    platform::DirEntry e;
    bool any = walk.First(JoinPath(from, "*.*").c_str(), &e);
    if (any) {
        do {
            if (e.name[0] == '.') continue;
            std::string src = JoinPath(from, e.name), dst = JoinPath(to, e.name);
            if (const char* why = BlockOf(src, dst, e.isFolder))
                out.Add(Problem{src, dst, why, 0});
            else if (e.isFolder && !platform::IsFolderLink(src.c_str()))
                FindBlockedItems(src, dst, out);
        } while (walk.Next(&e));
    }
    // A folder whose listing fails or breaks off could hold what the move
    // leaves behind: the check cannot pass it.
    if (!walk.Ended()) out.Add(Problem{from, to, kUnlisted, 0});
}

// Windows does not remove a process's current directory, so the walk must
// not leave it in the install folder.
void LeaveInstallFolder(const std::string& installFolder, const std::string& newFolder) {
    std::string current;
    if (!platform::GetCurrentFolder(current)) return;
    if (SameFolder(current, installFolder) || FolderLiesInside(current, installFolder))
        platform::SetCurrentFolder(newFolder.c_str());
}

}  // namespace

Outcome CheckRelocation(const std::string& installFolder, const std::string& newFolder) {
    Outcome out;
    if (!platform::IsFolder(installFolder.c_str()) && platform::IsFolder(newFolder.c_str())) return out;
    if (FolderLiesInside(newFolder, installFolder) || SameFolder(newFolder, installFolder))
        out.Add(Problem{installFolder, newFolder, kNested, 0});
    else if (FileExists(newFolder) && !platform::IsFolder(newFolder.c_str()))
        out.Add(Problem{newFolder, newFolder, kTaken, 0});
    else
        FindBlockedItems(installFolder, newFolder, out);
    return out;
}

Outcome RelocateInstallation(const std::string& installFolder, const std::string& newFolder, const StopCheck& stop) {
    Outcome out = CheckRelocation(installFolder, newFolder);
    if (!out.Ok() || !platform::IsFolder(installFolder.c_str())) return out;
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
