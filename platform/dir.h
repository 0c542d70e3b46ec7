// Folders and the process's current directory. Paths are UTF-8. See
// README.md for the error convention.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "platform/handles.h"

namespace platform {

bool GetCurrentFolder(std::string& out);
bool SetCurrentFolder(const char* path);
// Creates one folder; fails when it exists or its parent is missing.
bool CreateFolder(const char* path);
// Removes an empty folder.
bool RemoveFolder(const char* path);

// One entry of a folder listing; the name in UTF-8.
struct DirEntry {
    std::string name;
    bool isFolder;
    bool isLink;  // a reparse point (junction or symbolic link)
    uint64_t size;
};

// Walks the entries matching `pattern` ("*.*" for all, hidden ones included).
//   DirWalk w;  if (w.First("*.*", &e)) do { ... } while (w.Next(&e));
// Next() fails with ERROR_NO_MORE_FILES at the end.
class DirWalk {
public:
    bool First(const char* pattern, DirEntry* e);
    bool Next(DirEntry* e);
    // After First or Next failed: true when the listing was at its end (or
    // nothing matched), false when it broke off, e.g. at a name that is not
    // valid UTF-16 and so has no UTF-8 form: entries may follow unseen.
    bool Ended() const { return ended_; }

private:
    Find find_;
    bool ended_ = false;
};

// Folder links: junctions and symbolic links to folders (reparse points).
// The tree walks treat one as a leaf, so these act on the link itself and
// never on what it points to. Opening "the link itself" needs
// FILE_FLAG_OPEN_REPARSE_POINT; a system that opens the target instead (Wine
// with a host symbolic link) is caught by checking the opened item's
// attributes, and the call fails with ERROR_NOT_SUPPORTED without touching
// anything.

// True when `path` is a folder that is a reparse point.
bool IsFolderLink(const char* path);
// True when the link itself can be opened for deletion or renaming.
bool CheckFolderLinkMovable(const char* path);
// Renames the link itself to `to` (same volume); never replaces `to`.
bool MoveFolderLink(const char* from, const char* to);
// Removes the link itself.
bool RemoveFolderLink(const char* path);

}  // namespace platform
