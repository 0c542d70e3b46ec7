// The new product's names for the suite's preference files, data folders and
// main executable.
#pragma once
#include <string>
#include "migrate/outcome.h"

namespace migrate {

// Which preference files "Kestrin 5 *.prf" the shared folder holds under
// their old names: bit i for the i-th of the eight. Taken before the first
// rename and kept (in the update record), so that a rename phase cut off
// half-way and run again still knows which install-folder files are the
// update's copies.
unsigned PreferenceFilesPresent(const std::string& sharedFolder);

// Renames the preference files and "Kestrin Labels" in `sharedFolder`, then
// the executable and the data folders (with "Kestrin Labels") in
// `finalInstallFolder`. A rename never replaces an existing item; a missing
// old item or an existing new one leaves both as they are, so running this
// again finishes what a run cut off left.
// The install folder's "Kestrin 5 *.prf" are the copies that the update's
// tree copy made of the shared folder's; one is deleted only when its bit is
// set in `copies` (PreferenceFilesPresent before the renames) and the shared
// folder's file, under its old or its new name, still exists and is another
// file. So nothing is deleted when both folders are one folder, whatever its
// spelling, and the only copy of a preference file is never deleted. A copy
// whose shared file could not be renamed is kept too, so that the pair is
// either whole or done.
// Problems: every item that is there under its old name, whose new name is
// free, and that the system would not rename (held open by another program,
// no right), with the system's code; every copy that was to go and could not
// be deleted; and the program that does not carry its new name for any
// reason ("Dovetra.exe" missing, or "Kestrin.exe" still beside it). The
// other items are optional (a missing one is no problem); the program is
// not, since the shortcuts and the registry name "Dovetra.exe" next.
// A stop request is honoured between two renames (the result is then
// stopped, with no problem).
Outcome RenameProductItems(const std::string& sharedFolder, const std::string& finalInstallFolder, unsigned copies,
                           const StopCheck& stop = {});

// What the machine shows of RenameProductItems: the program carries its new
// name ("Dovetra.exe" there, "Kestrin.exe" not), no other item waits under
// its old name without its new one, and no copy that the renames delete
// (by `copies`) is left. Reads only.
bool RenamesShown(const std::string& sharedFolder, const std::string& finalInstallFolder, unsigned copies);

// A path relative to the install folder under the new names the renames
// give ("Kestrin.exe" -> "Dovetra.exe", "Kestrin Labels\x" -> "Dovetra
// Labels\x"); the path itself when the renames leave it alone.
std::string NewInstallName(const std::string& relativePath);
// The preflight's check of what RenameProductItems will rename or delete,
// changing nothing: each item it would rename (there under its old name, its
// new name free) or copy it could delete that cannot be opened for deletion
// (platform::CheckMovable: a file held open without delete sharing, a folder
// that is a process's current directory), with the system's code
// (ERROR_SHARING_VIOLATION for an item in use).
Outcome CheckRenames(const std::string& sharedFolder, const std::string& finalInstallFolder);

}  // namespace migrate
