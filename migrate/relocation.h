// Moving an installation from the old suite's default folder to the new one.
#pragma once

// True when g_state.installFolder equals string 108 and g_state.sharedFolder
// equals string 109 by PathsEqual (letters A-Z match a-z, nothing else is
// normalised).
bool IsAtDefaultPaths();

// RelocateInstallationTo(string 110).
bool RelocateInstallation();

// Moves everything inside g_state.installFolder (names beginning with "."
// excepted) to the same places under `newFolder`, removes the emptied old
// folders and makes `newFolder` the final install folder.
// Checks first that every item can go: when a destination exists already,
// a file is held open by another program, a path would not fit 255
// characters, or `newFolder` lies inside the install folder or cannot be
// made, nothing is moved, finalInstallFolder is left as it is and one
// "Update Error" box names the first such item; returns false.
// The current directory, when it is the install folder or inside it, is moved
// to `newFolder` first, since Windows does not remove a current directory.
// Returns true once the move has run, even when single items failed: their
// boxes have been shown and what moved stays moved.
bool RelocateInstallationTo(const char* newFolder);
