// Finding the old suite's install folder and shared folder: first from the
// registry, then by asking the user once with an open-file dialog.
#pragma once
#include <windows.h>
#include <string>

namespace locate {

// True when `folder` holds "Kestrin.exe": a folder named on the command
// line must, as the folders the search finds do.
bool HoldsInstallation(const std::string& folder);

// Stores into dest the folder that holds "Kestrin.exe": the folder of the
// ".ksd" open command, read from HKEY_CLASSES_ROOT, then machine-wide from
// HKLM\Software\Classes (an account such as SYSTEM sees no user's own
// classes), then from each user profile's Software\Classes; or else the
// folder of the file the user picks (install folder dialog, no owner). False
// when none holds it or the user cancels.
bool FindInstallFolder(std::string& dest);

enum class SharedSearch { kFound, kNotFound, kDisagree };

// Stores into dest the folder that holds "WMF.F32": the value "Vantor
// Directory" of Software\Vantor Corp.\Vantor in HKEY_CURRENT_USER; when it
// has none there, the value in every other user profile of the machine
// (hives loaded below HKEY_USERS, and those of ProfileList loaded for the
// look), which must all name one folder; then the old default shared folder
// when it holds the file; or else the folder of the file the user picks.
// Profiles that name different folders are kDisagree, with `why` naming
// each profile and its folder: never a guess. `why` also notes profiles
// whose hive could not be read.
SharedSearch FindSharedFolder(std::string& dest, std::string& why);

// Asks for the install folder again ("Change folder"), the dialog owned by
// `owner`, and stores the chosen file's folder into dest. The folder need
// not hold "Kestrin.exe": the user may update a copy under another name.
// False when cancelled.
bool AskInstallFolder(HWND owner, std::string& dest);

}  // namespace locate
