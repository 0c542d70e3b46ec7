// File-tree operations: copying one file, making a folder path, copying or
// moving a folder's contents, deleting a folder with its contents.
//
// Folders are absolute paths without a trailing backslash; a path inside a
// folder is folder + "\" + name and must fit 255 characters. The walks make
// the folder they walk the current directory, handle its entries by bare
// name, and restore the caller's current directory before they return.
// Names that begin with "." are never handled by the walks.
//
// Folder links (junctions and symbolic links to folders, platform::
// IsFolderLink) inside a walked folder are leaves: no walk ever enters one,
// so nothing the link points to is copied, moved or deleted.
//   - copy: the link is passed over without a box. Copying what it points to
//     would duplicate the user's data into the installation, and a new link
//     to the same place would let a later delete or move reach it; the
//     target stays where it is and the copy simply has no entry of that name.
//   - move: the link itself is renamed to its place in the destination
//     (platform::MoveFolderLink); where the system cannot move the link
//     without its target, the move of that entry fails with a box.
//   - delete: the link itself is removed (platform::RemoveFolderLink); where
//     that cannot be done, it is a failure like any undeletable item.
// A destination entry that is a folder link is never written through: such
// a folder entry fails with a box.
//
// Boxes are "Update Error" boxes owned by `owner` (the dialog, so that it is
// disabled while one is up; null for none).
#pragma once
#include <windows.h>

namespace migrate {

// Result of CopyFileUnlessSame.
enum class FileCopyResult {
    kCopied,          // copied, or source and destination are one name
    kSourceUnopened,  // missing, unreadable, or its path does not fit 255 characters
    kDestUnopened,    // cannot be opened or created, or its path does not fit
    kCopyFailed,      // a read or write, cutting to length or setting the times failed
};

// Copies source folder\name onto destination folder\name with the source's
// three file times, unless folders and names are equal by PathsEqual (then
// kCopied, nothing touched). The destination is written from its first byte
// and then cut to the source's length, never emptied first, so a copy onto
// the same file under another spelling leaves it as it was. Shows nothing.
FileCopyResult CopyFileUnlessSame(const char* sourceFolder, const char* sourceName, const char* destFolder,
                                  const char* destName);

// Creates the folder and every missing parent. True when the folder is there
// afterwards (made now or before); false when it could not be made (also when
// the path does not fit 255 characters). Shows nothing.
bool CreateFolderPath(const char* path);

// Result of the walks.
enum class TreeResult {
    kDone,        // every entry handled (entries the walk passes over by rule included)
    kIncomplete,  // something failed: a box named it, or the walked folder itself could not be
                  // entered (no box) or, when moving or deleting, removed (no box)
};

// Copies (copy = true) or moves everything inside `source` into `dest`,
// recursively, creating subfolders as needed; in move mode removes the
// emptied source folders, `source` itself included; a folder left holding
// only names beginning with "." stays, and that is no failure. Every failing
// file and every subfolder whose walk failed is reported in a box
// (IDS_MOVE_ERROR); the walk goes on.
// When `dest` lies inside `source` (a shared folder that holds the install
// folder), the entry that is `dest` is passed over without a box and
// everything else goes, the folders above `dest` included; everything the
// walk makes lies inside `dest`, so it never runs into its own output. (In
// move mode the folders that hold `dest` stay, reported like any folder
// that cannot be removed.)
TreeResult CopyOrMoveTree(HWND owner, const char* source, const char* dest, bool copy);

// Deletes `folder` with everything inside it; a `folder` that is itself a
// folder link loses only the link. Stops at the first file or subfolder it
// cannot delete, after one box ("Cannot delete file ..." / "Cannot delete
// folder ...").
TreeResult DeleteTree(HWND owner, const char* folder);

// True when `inner`, made absolute, lies strictly below `outer` made
// absolute: a prefix that ends at a backslash, letters compared without case
// (accented ones too, by the system's rules). The text is compared; links
// are not resolved, which the walks do not need since they never enter one.
// Also true when either path cannot be made absolute within MAX_PATH, so
// that callers refuse what they cannot check.
bool FolderLiesInside(const char* inner, const char* outer);

// True when both paths, made absolute, name the same folder text (letters
// compared without case as above, trailing backslashes ignored).
bool SameFolder(const char* a, const char* b);

// The "Update Error" box (error icon, OK) owned by `owner`.
void ShowUpdateError(HWND owner, const char* text);

}  // namespace migrate
