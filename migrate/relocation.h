// Moving an installation from the old suite's default folder to the new one.
#pragma once
#include <string>
#include "migrate/outcome.h"

namespace migrate {

// True when `installFolder` equals IDS_OLD_INSTALL and `sharedFolder` equals
// IDS_OLD_SHARED by PathsEqual (letters A-Z match a-z, nothing else is
// normalised).
bool IsAtDefaultPaths(const std::string& installFolder, const std::string& sharedFolder);

// The new default install folder, IDS_NEW_INSTALL.
std::string NewInstallFolder();

// Every reason the move of `installFolder`'s contents to `newFolder` could
// not be made whole, changing nothing: an item whose destination exists (a
// folder may meet a folder, which is filled; a file may meet its earlier
// move cut off, IsEarlierMove in tree.h), a file or folder that cannot be
// opened for deletion (held open by another program, or a process's current
// directory; this process's own is passed: the move leaves it), a folder
// link that cannot be moved without what it points to, a folder whose
// listing fails, `newFolder` inside the installation. Each item with its own
// problem, with the system's code where it gave one (ERROR_SHARING_VIOLATION
// for an item in use). A missing `installFolder` with `newFolder` present is
// a move already made: no problem.
// A folder link is moved as a link: the link itself is renamed, and what it
// points to stays where it is, untouched. That can be done on one volume
// only: a link whose move would cross volumes is a problem. Where the system
// cannot rename a link without what it points to (Wine opens the target of
// its host links), the link goes with the whole install folder, renamed to
// `newFolder` in one step: a problem unless `newFolder` is missing or empty.
// RelocateInstallation follows this same rule.
Outcome CheckRelocation(const std::string& installFolder, const std::string& newFolder);

// Moves everything inside `installFolder` (names beginning with "."
// excepted) to the same places under `newFolder` and removes the emptied old
// folders. Checks first (CheckRelocation): with any problem nothing is moved
// and the problems come back. Folder links are moved as links (see tree.h
// and CheckRelocation), never entered; where one goes only with its folder,
// the install folder is renamed whole (names beginning with "." and all). Once the move has begun, what moved stays moved; a move
// stopped or cut off anywhere is finished by calling this again, which moves
// what is left. The process's current directory, when it is the install
// folder or inside it, is moved to `newFolder` first, since Windows does not
// remove a current directory.
Outcome RelocateInstallation(const std::string& installFolder, const std::string& newFolder,
                             const StopCheck& stop = {});

}  // namespace migrate
