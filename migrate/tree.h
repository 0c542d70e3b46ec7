// File-tree operations: copying one file, making a folder path, copying or
// moving a folder's contents, deleting a folder with its contents.
//
// Folders are absolute paths without a trailing backslash; a path inside a
// folder is folder + "\" + name and must fit 255 characters. The walks make
// the folder they walk the current directory, handle its entries by bare
// name, and restore the caller's current directory before they return.
// Names that begin with "." are never handled by the walks.
#pragma once

// Codes of CopyFileUnlessSame (0 = copied or skipped).
enum FileCopyCode {
    kFileCopied = 0,
    kFileSourceUnopened = 1,  // missing, unreadable, or its path does not fit 255 characters
    kFileDestUnopened = 2,    // cannot be opened or created, or its path does not fit
    kFileReadFailed = 3,
    kFileWriteFailed = 4,     // also: cutting it to length or setting its times failed
};

// Copies source folder\name onto destination folder\name with the source's
// three file times, unless folders and names are equal by PathsEqual (then 0,
// nothing touched). The destination is written from its first byte and then
// cut to the source's length, never emptied first, so a copy onto the same
// file under another spelling leaves it as it was.
int CopyFileUnlessSame(const char* sourceFolder, const char* sourceName, const char* destFolder,
                       const char* destName);

// Creates the folder and every missing parent. 0 when the last attempt, the
// folder itself, was created; -1 otherwise (also when it existed already, or
// when the path does not fit 255 characters). Shows nothing.
int CreateFolderPath(const char* path);

// Copies (copy = true) or moves everything inside `source` into `dest`,
// recursively, creating subfolders as needed; in move mode removes the
// emptied source folders, `source` itself included. Every failing file and
// every subfolder whose walk failed is reported in an "Update Error" box
// (string 111); the walk goes on. Returns the result of the last entry
// handled (move mode: of removing `source`), 0 for success.
// Refuses, with one box and -1, a `dest` that lies inside `source`: such a
// walk would keep finding the folders it has just made.
int CopyOrMoveTree(const char* source, const char* dest, bool copy);

// Deletes `folder` with everything inside it. Stops at the first file or
// subfolder it cannot delete, after one "Update Error" box ("Cannot delete
// file ..." / "Cannot delete folder ..."). 0 when the folder is gone.
int DeleteTree(const char* folder);

// True when `inner`, made absolute, lies strictly below `outer` made
// absolute: a prefix that ends at a backslash, letters compared without case
// (accented ones too, by the system's rules).
// Also true when either path cannot be made absolute within MAX_PATH, so
// that callers refuse what they cannot check.
bool FolderLiesInside(const char* inner, const char* outer);

// True when both paths, made absolute, name the same folder text (letters
// compared without case as above, trailing backslashes ignored).
bool SameFolder(const char* a, const char* b);

// Shows the "Update Error" box of string 111 with the two paths put in.
void ShowMoveError(const char* from, const char* to);
