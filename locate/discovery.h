// Finding the old suite's install folder and shared folder: first from the
// registry, then by asking the user once with an open-file dialog.
#pragma once
#include <windows.h>
#include <string>

namespace locate {

// True when `folder` holds "Kestrin.exe": a folder named on the command
// line must, as the folders the search finds do.
bool HoldsInstallation(const std::string& folder);

// Stores into dest the folder that holds "Kestrin.exe": the open command's
// folder, or else the folder of the file the user picks (install folder
// dialog, no owner). False when neither holds it or the user cancels.
bool FindInstallFolder(std::string& dest);

// Stores into dest the folder that holds "WMF.F32": the value "Vantor
// Directory" of HKCU\Software\Vantor Corp.\Vantor, or else the folder of the
// file the user picks. False as for FindInstallFolder.
bool FindSharedFolder(std::string& dest);

// Asks for the install folder again ("Change folder"), the dialog owned by
// `owner`, and stores the chosen file's folder into dest. The folder need
// not hold "Kestrin.exe": the user may update a copy under another name.
// False when cancelled.
bool AskInstallFolder(HWND owner, std::string& dest);

}  // namespace locate
