// The walks: CopyOrMoveTree and DeleteTree, with CreateFolderPath and the
// "Update Error" boxes they show.
#include <windows.h>
#include <string>
#include "common/ids.h"
#include "common/state.h"
#include "common/path.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/strings.h"

static const char kUpdateErrorTitle[] = "Update Error";

// Boxes without an owner: the main dialog stays live while one is open.
static void ShowUpdateError(const std::string& text) {
    platform::ShowMessage(nullptr, text.c_str(), kUpdateErrorTitle, MB_OK | MB_ICONERROR);
}

void ShowMoveError(const char* from, const char* to) {
    ShowUpdateError(platform::FormatText(platform::LoadText(IDS_MOVE_ERROR), from, to));
}

// folder + "\" + name for a message; unlike JoinPath it has no length limit,
// so a path refused for its length can still be named.
static std::string Joined(const char* folder, const char* name) {
    return std::string(folder) + "\\" + name;
}

int CreateFolderPath(const char* path) {
    char work[kPathCap];
    if (!CopyPath(work, sizeof work, path) || work[0] == 0) return -1;
    // From the second character on, so that a leading "\" is no separator.
    for (size_t i = 1; work[i] != 0; ++i) {
        if (work[i] != '\\') continue;
        work[i] = 0;
        platform::CreateFolder(work);  // exists already, or the drive: harmless
        work[i] = '\\';
    }
    return platform::CreateFolder(work) ? 0 : -1;
}

// ---- copy or move ----

static int WalkCopyOrMove(const char* source, const char* dest, bool copy);

static int CopyOrMoveFolderEntry(const char* source, const char* dest, const char* name, bool copy) {
    char from[kPathCap], to[kPathCap];
    if (!JoinPath(from, sizeof from, source, name) || !JoinPath(to, sizeof to, dest, name)) {
        ShowMoveError(Joined(source, name).c_str(), Joined(dest, name).c_str());
        return -1;
    }
    platform::CreateFolder(to);  // may exist already; failures show below
    int result = WalkCopyOrMove(from, to, copy);
    if (result != 0) ShowMoveError(from, to);
    return result;
}

// The current directory is `source`, so the file is named by `name` alone.
static int CopyOrMoveFileEntry(const char* source, const char* dest, const char* name, bool copy) {
    int result;
    if (copy) {
        result = CopyFileUnlessSame(source, name, dest, name);
    } else {
        char to[kPathCap];
        result = JoinPath(to, sizeof to, dest, name) && platform::MoveItem(name, to) ? 0 : -1;
    }
    if (result != 0) ShowMoveError(name, Joined(dest, name).c_str());
    return result;
}

// Handles the current directory's entries; the search is closed on return,
// before the caller leaves the folder or removes it.
static int CopyOrMoveEntries(const char* source, const char* dest, bool copy) {
    int result = 0;
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First("*.*", &e)) return result;
    do {
        if (e.name[0] == '.') continue;
        result = e.isFolder ? CopyOrMoveFolderEntry(source, dest, e.name, copy)
                            : CopyOrMoveFileEntry(source, dest, e.name, copy);
    } while (walk.Next(&e));
    return result;
}

static int WalkCopyOrMove(const char* source, const char* dest, bool copy) {
    char saved[MAX_PATH + 1];
    if (!platform::GetCurrentFolder(saved, sizeof saved)) return -1;  // could not come back
    int result = 0;
    if (platform::SetCurrentFolder(source)) result = CopyOrMoveEntries(source, dest, copy);
    platform::SetCurrentFolder(saved);
    if (!copy && result == 0) result = platform::RemoveFolder(source) ? 0 : -1;
    return result;
}

int CopyOrMoveTree(const char* source, const char* dest, bool copy) {
    if (FolderLiesInside(dest, source)) {
        ShowMoveError(source, dest);
        return -1;
    }
    return WalkCopyOrMove(source, dest, copy);
}

// ---- delete ----

static void ShowCannotDelete(const char* what, const std::string& name) {
    ShowUpdateError(std::string("Cannot delete ") + what + " \"" + name + "\".");
}

static int DeleteEntries(const char* folder) {
    int result = 0;
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First("*.*", &e)) return result;
    do {
        if (e.name[0] == '.') continue;
        if (!e.isFolder) {
            result = platform::DeleteFileAt(e.name) ? 0 : -1;
            if (result != 0) ShowCannotDelete("file", e.name);
            continue;
        }
        char sub[kPathCap];
        result = JoinPath(sub, sizeof sub, folder, e.name) ? DeleteTree(sub) : -1;
        if (result != 0) ShowCannotDelete("folder", Joined(folder, e.name));
    } while (result == 0 && walk.Next(&e));
    return result;
}

int DeleteTree(const char* folder) {
    char saved[MAX_PATH + 1];
    if (!platform::GetCurrentFolder(saved, sizeof saved)) return -1;
    int result = 0;
    if (platform::SetCurrentFolder(folder)) result = DeleteEntries(folder);
    platform::SetCurrentFolder(saved);
    if (result == 0) result = platform::RemoveFolder(folder) ? 0 : -1;
    return result;
}
