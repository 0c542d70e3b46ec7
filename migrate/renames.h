// The new product's names for the suite's preference files, data folders and
// main executable.
#pragma once

namespace migrate {

// Renames the preference files and "Kestrin Labels" in `sharedFolder`, then
// the executable and the data folders (with "Kestrin Labels") in
// `finalInstallFolder`. A rename never replaces an existing item; nothing is
// shown and no failure stops the rest. A folder that cannot be named within
// 255 characters is left alone.
// The install folder's "Kestrin 5 *.prf" are the copies that the update's
// tree copy made of the shared folder's; one is deleted only when it is such
// a copy (the shared folder held that file before the renames) and the
// shared folder's file, under its old or its new name, still exists and is
// another file. So nothing is deleted when both folders are one folder,
// whatever its spelling, and the only copy of a preference file is never
// deleted.
// Leaves `finalInstallFolder` current (when it can be entered).
// Returns whether the program now carries its new name: "Dovetra.exe" in
// `finalInstallFolder` and no "Kestrin.exe" beside it. The other items are
// optional; the program is not, since the shortcuts and the registry are
// pointed at "Dovetra.exe" next.
bool RenameProductItems(const char* sharedFolder, const char* finalInstallFolder);

}  // namespace migrate
