// Moving an installation from the old suite's default folder to the new one.
#pragma once
#include <windows.h>

namespace migrate {

// True when `installFolder` equals IDS_OLD_INSTALL and `sharedFolder` equals
// IDS_OLD_SHARED by PathsEqual (letters A-Z match a-z, nothing else is
// normalised).
bool IsAtDefaultPaths(const char* installFolder, const char* sharedFolder);

enum class RelocationResult {
    kMoved,       // everything is in the new folder
    kRefused,     // nothing was moved (a box said why)
    kIncomplete,  // moved, but some items could not be (each had its box)
};

// RelocateInstallationTo(IDS_NEW_INSTALL); unless refused, that folder is
// copied into `finalInstallFolder` (kPathCap bytes), which is otherwise left
// as it is.
RelocationResult RelocateInstallation(HWND owner, const char* installFolder, char* finalInstallFolder);

// Moves everything inside `installFolder` (names beginning with "."
// excepted) to the same places under `newFolder` and removes the emptied old
// folders; `newFolder` is then the final install folder.
// Checks first that every item can go: when a destination exists already, a
// file is held open by another program, a folder link cannot be moved without
// what it points to, a path would not fit 255 characters, or `newFolder` lies
// inside the install folder or cannot be made, nothing is moved and one
// "Update Error" box owned by `owner` names the first such item; returns
// false. Folder links are moved as links (see tree.h), never entered.
// The current directory, when it is the install folder or inside it, is moved
// to `newFolder` first, since Windows does not remove a current directory.
// Once the move has run, what moved stays moved, also when single items
// failed (kIncomplete: their boxes have been shown).
RelocationResult RelocateInstallationTo(HWND owner, const char* installFolder, const char* newFolder);

}  // namespace migrate
