// File-tree operations: copying one file, making a folder path, copying or
// moving a folder's contents, deleting a folder with its contents.
//
// Paths are full paths of any length (UTF-8); nothing here depends on or
// changes the process's current directory, so a walk may run on a thread of
// its own. Names that begin with "." are never handled by the walks.
//
// Folder links (junctions and symbolic links to folders, platform::
// IsFolderLink) inside a walked folder are leaves: no walk ever enters one,
// so nothing the link points to is copied, moved or deleted.
//   - copy: the link is passed over. Copying what it points to would
//     duplicate the user's data into the installation, and a new link to the
//     same place would let a later delete or move reach it.
//   - move: the link itself is renamed to its place in the destination
//     (platform::MoveFolderLink); where the system cannot move the link
//     without its target, that entry is a problem.
//   - delete: the link itself is removed (platform::RemoveFolderLink).
// Nothing is ever written through a link at a destination name: a folder
// link there is a problem, and a file is replaced by a new file put in its
// place (a hard link or symbolic link at that name loses only the name; the
// file it led to is untouched).
//
// Nothing is shown: what could not be done comes back as problems.
#pragma once
#include <cstdint>
#include <string>
#include "migrate/outcome.h"

namespace migrate {

// Result of CopyFileUnlessSame; on anything but kCopied the system's code is
// in GetLastError().
enum class FileCopyResult {
    kCopied,          // copied, or source and destination are one file
    kSourceUnopened,  // missing or unreadable
    kDestUnopened,    // the new file cannot be made or put in place
    kCopyFailed,      // a read, write or setting the times failed
};

// Copies file `from` onto `to` with the source's three file times, unless
// both name one file (same path, or same volume and file index: a copy onto
// itself under another spelling or through a hard link then touches
// nothing). The copy is written under WorkPathFor(to), flushed, and moved
// over `to` in one step, so `to` always holds the old or the whole new
// content, and a link at the name `to` is replaced, never written through.
// A read-only `to` is not replaced (kDestUnopened).
FileCopyResult CopyFileUnlessSame(const std::string& from, const std::string& to);

// The work name a new file is written under before it takes `path`'s place:
// path + ".~dvcopy", or, where that would pass 255 UTF-16 units in its last
// component, "~dvcopy.~dvcopy" in the same folder. A stale one (a copy cut
// off by a kill) is ours and is replaced.
std::string WorkPathFor(const std::string& path);

// Creates the folder and every missing parent. True when the folder is there
// afterwards (made now or before).
bool CreateFolderPath(const std::string& path);

// Copies (copy = true) or moves everything inside `source` into `dest`,
// recursively, creating subfolders as needed; in move mode removes the
// emptied source folders, `source` itself included; a folder left holding
// only names beginning with "." stays, and that is no problem.
// Moving a file never replaces one at the destination: a destination that
// IsEarlierMove of the source is taken as its earlier move (a move across
// volumes copies, then deletes: a kill between the two leaves both) and the
// source is deleted; any other is a problem and both stay.
// Every failing file, and every folder that cannot be made, entered or
// removed, is a problem; the walk goes on with the others. A stop request is
// honoured between entries.
// When `dest` lies inside `source` (a shared folder that holds the install
// folder), the entry that is `dest` is passed over and everything else goes;
// in move mode the folders that hold `dest` stay, without a problem.
Outcome CopyOrMoveTree(const std::string& source, const std::string& dest, bool copy, const StopCheck& stop = {});

// The check of a copy (CopyOrMoveTree with copy = true) of `source` into
// `dest`, changing nothing: every file the copy would read that cannot be
// opened as the copy opens it (platform::CheckReadable: held open by another
// program without sharing, ERROR_SHARING_VIOLATION; no right), each with the
// system's code, and every folder whose listing fails. The same entries as
// the copy: no dot names, no folder links, not `dest` inside `source`.
Outcome CheckCopySources(const std::string& source, const std::string& dest);

// Deletes `folder` with everything inside it; a `folder` that is itself a
// folder link loses only the link. Stops at the first file or subfolder it
// cannot delete (one problem). A missing folder is no problem.
Outcome DeleteTree(const std::string& folder);

// The bytes of the files a copy or move of `folder` would handle (the same
// entries the walks handle: no dot names, no folder links).
uint64_t TreeBytes(const std::string& folder);

// True when `inner`, made absolute, lies strictly below `outer` made
// absolute: a prefix that ends at a backslash, letters compared without case
// (accented ones too, by the system's rules). The text is compared; links
// are not resolved, which the walks do not need since they never enter one.
// Also true when either path cannot be made absolute, so that callers refuse
// what they cannot check.
bool FolderLiesInside(const std::string& inner, const std::string& outer);

// True when both paths, made absolute, name the same folder text (letters
// compared without case as above, trailing backslashes ignored).
bool SameFolder(const std::string& a, const std::string& b);

// True when both files hold the same bytes (both readable, same length).
bool SameContent(const std::string& a, const std::string& b);

// True when file `to` is what a move of file `from` cut off after its copy
// left: another file with the same bytes. Not `from` itself under a second
// name (a hard link, or a symbolic link that leads to it): deleting `from`
// would then lose the file or leave the link leading nowhere.
bool IsEarlierMove(const std::string& from, const std::string& to);

}  // namespace migrate
