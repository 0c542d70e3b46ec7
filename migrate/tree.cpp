// The walks: CopyOrMoveTree and DeleteTree, with CreateFolderPath and the
// "Update Error" boxes they show.
#include <windows.h>
#include <string>
#include "common/ids.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

namespace migrate {
using namespace common;

void ShowUpdateError(HWND owner, const char* text) {
    platform::ShowMessage(owner, text, "Update Error", MB_OK | MB_ICONERROR);
}

bool CreateFolderPath(const char* path) {
    char work[kPathCap];
    if (!CopyPath(work, sizeof work, path) || work[0] == 0) return false;
    // From the second character on, so that a leading "\" is no separator.
    for (size_t i = 1; work[i] != 0; ++i) {
        if (work[i] != '\\') continue;
        work[i] = 0;
        platform::CreateFolder(work);  // exists already, or the drive: harmless
        work[i] = '\\';
    }
    return platform::CreateFolder(work) || platform::IsFolder(work);
}

namespace {

// What one CopyOrMoveTree call does, passed down its walk.
struct TreeWalk {
    HWND owner;
    bool copy;
    const char* keepOut;  // the destination when it lies inside the source, else null
};

void ShowMoveError(HWND owner, const std::string& from, const std::string& to) {
    std::string text = platform::FormatText(platform::LoadText(IDS_MOVE_ERROR), from.c_str(), to.c_str());
    ShowUpdateError(owner, text.c_str());
}

// folder + "\" + name for a message; unlike JoinPath it has no length limit,
// so a path refused for its length can still be named.
std::string Joined(const char* folder, const char* name) { return std::string(folder) + "\\" + name; }

TreeResult WalkCopyOrMove(const TreeWalk& w, const char* source, const char* dest);

// The current directory is the link's folder, so it is named by `name`.
TreeResult CopyOrMoveLinkEntry(const TreeWalk& w, const char* from, const char* name, const char* to) {
    if (w.copy || platform::MoveFolderLink(name, to)) return TreeResult::kDone;
    ShowMoveError(w.owner, from, to);
    return TreeResult::kIncomplete;
}

TreeResult CopyOrMoveFolderEntry(const TreeWalk& w, const char* source, const char* dest, const char* name) {
    char from[kPathCap], to[kPathCap];
    if (!JoinPath(from, sizeof from, source, name) || !JoinPath(to, sizeof to, dest, name)) {
        ShowMoveError(w.owner, Joined(source, name), Joined(dest, name));
        return TreeResult::kIncomplete;
    }
    if (w.keepOut && SameFolder(from, w.keepOut)) return TreeResult::kDone;
    if (platform::IsFolderLink(name)) return CopyOrMoveLinkEntry(w, from, name, to);
    TreeResult result = TreeResult::kIncomplete;
    if (!platform::IsFolderLink(to)) {
        platform::CreateFolder(to);  // may exist already; failures show below
        result = WalkCopyOrMove(w, from, to);
    }
    if (result != TreeResult::kDone) ShowMoveError(w.owner, from, to);
    return result;
}

// The current directory is `source`, so the file is named by `name` alone.
TreeResult CopyOrMoveFileEntry(const TreeWalk& w, const char* source, const char* dest, const char* name) {
    bool done;
    if (w.copy) {
        done = CopyFileUnlessSame(source, name, dest, name) == FileCopyResult::kCopied;
    } else {
        char to[kPathCap];
        done = JoinPath(to, sizeof to, dest, name) && platform::MoveItem(name, to);
    }
    if (done) return TreeResult::kDone;
    ShowMoveError(w.owner, name, Joined(dest, name));
    return TreeResult::kIncomplete;
}

// Calls `visit` for each entry matching `pattern` that the walks handle
// (names beginning with "." are not), until it returns false. The search is
// closed on return, before the caller leaves the folder or removes it.
// False when the listing broke off before its end, so that entries may have
// gone unseen; true when it ended or `visit` stopped it.
template <class Visit>
bool ForEachHandledEntry(const char* pattern, Visit visit) {
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First(pattern, &e)) return walk.Ended();
    do {
        if (e.name[0] != '.' && !visit(e)) return true;
    } while (walk.Next(&e));
    return walk.Ended();
}

// Handles the current directory's entries.
TreeResult CopyOrMoveEntries(const TreeWalk& w, const char* source, const char* dest) {
    TreeResult result = TreeResult::kDone;
    bool seenAll = ForEachHandledEntry("*.*", [&](const platform::DirEntry& e) {
        TreeResult one =
            e.isFolder ? CopyOrMoveFolderEntry(w, source, dest, e.name) : CopyOrMoveFileEntry(w, source, dest, e.name);
        if (one != TreeResult::kDone) result = one;
        return true;
    });
    return seenAll ? result : TreeResult::kIncomplete;
}

// True when `folder` holds nothing but names beginning with ".", which the
// walks leave where they are on purpose.
bool HoldsOnlyDotNames(const char* folder) {
    char pattern[kPathCap];
    if (!JoinPath(pattern, sizeof pattern, folder, "*.*")) return false;
    bool only = true;
    return ForEachHandledEntry(pattern, [&](const platform::DirEntry&) { return only = false; }) && only;
}

TreeResult WalkCopyOrMove(const TreeWalk& w, const char* source, const char* dest) {
    char saved[MAX_PATH + 1];
    if (!platform::GetCurrentFolder(saved, sizeof saved)) return TreeResult::kIncomplete;  // could not come back
    TreeResult result = TreeResult::kIncomplete;
    if (platform::SetCurrentFolder(source)) result = CopyOrMoveEntries(w, source, dest);
    platform::SetCurrentFolder(saved);
    if (!w.copy && result == TreeResult::kDone && !platform::RemoveFolder(source) && !HoldsOnlyDotNames(source))
        result = TreeResult::kIncomplete;
    return result;
}

void ShowCannotDelete(HWND owner, const char* what, const std::string& name) {
    ShowUpdateError(owner, (std::string("Cannot delete ") + what + " \"" + name + "\".").c_str());
}

// Stops at the first entry it cannot delete.
TreeResult DeleteEntries(HWND owner, const char* folder) {
    TreeResult result = TreeResult::kDone;
    ForEachHandledEntry("*.*", [&](const platform::DirEntry& e) {
        if (!e.isFolder) {
            if (platform::DeleteFileAt(e.name)) return true;
            ShowCannotDelete(owner, "file", e.name);
            result = TreeResult::kIncomplete;
            return false;
        }
        char sub[kPathCap];
        result = JoinPath(sub, sizeof sub, folder, e.name) ? DeleteTree(owner, sub) : TreeResult::kIncomplete;
        if (result != TreeResult::kDone) ShowCannotDelete(owner, "folder", Joined(folder, e.name));
        return result == TreeResult::kDone;
    });
    return result;
}

}  // namespace

TreeResult CopyOrMoveTree(HWND owner, const char* source, const char* dest, bool copy) {
    TreeWalk w{owner, copy, FolderLiesInside(dest, source) ? dest : nullptr};
    return WalkCopyOrMove(w, source, dest);
}

TreeResult DeleteTree(HWND owner, const char* folder) {
    if (platform::IsFolderLink(folder))
        return platform::RemoveFolderLink(folder) ? TreeResult::kDone : TreeResult::kIncomplete;
    char saved[MAX_PATH + 1];
    if (!platform::GetCurrentFolder(saved, sizeof saved)) return TreeResult::kIncomplete;
    TreeResult result = TreeResult::kDone;
    if (platform::SetCurrentFolder(folder)) result = DeleteEntries(owner, folder);
    platform::SetCurrentFolder(saved);
    if (result == TreeResult::kDone && !platform::RemoveFolder(folder)) result = TreeResult::kIncomplete;
    return result;
}

}  // namespace migrate
