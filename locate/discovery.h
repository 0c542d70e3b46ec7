// Finding the old suite's install folder and shared folder: first from the
// registry, then by asking the user once with an open-file dialog.
#pragma once
#include <windows.h>
#include <cstddef>

// Reads the open command of a document extension (".ksd") from
// HKEY_CLASSES_ROOT: extension -> ProgID -> ProgID\shell\open\command,
// with its first and last double quote removed, into command (cap bytes).
// Read-only: no key is ever created. False (command empty) when any key or
// value is missing or empty, or when a name or the command does not fit.
bool LookupOpenCommand(const char* extension, char* command, size_t cap);

// Stores into dest (kPathCap bytes) the folder that holds "Kestrin.exe":
// the open command's folder, or else the folder of the file the user picks
// (install folder dialog, no owner). False when neither holds it, the user
// cancels, or a path would not fit.
bool FindInstallFolder(char* dest);

// Stores into dest (kPathCap bytes) the folder that holds "WMF.F32": the
// value "Vantor Directory" of HKCU\Software\Vantor Corp.\Vantor, or else the
// folder of the file the user picks. False as for FindInstallFolder.
bool FindSharedFolder(char* dest);

// Handler of the "Change folder" button (1001) of the main dialog: asks for
// the install folder (dialog owned by `dialog`), and on a confirmed file
// makes its folder installFolder and finalInstallFolder, makes it current,
// and then sets message (string 102), repaints and enables button 1.
void OnChangeFolder(HWND dialog);
