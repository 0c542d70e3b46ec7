// The Start-menu programs folder and the desktop folder, which the shortcut
// migration writes into.
#pragma once
#include <windows.h>

namespace app {

// Stores the all-users Start-menu programs folder, or failing that the
// current user's, in g_state.startMenuProgramsFolder. `dialog` owns any
// window the shell shows. False when neither is known or fits a path field.
bool GetStartMenuProgramsFolder(HWND dialog);

// The same for the desktop folder, into g_state.desktopFolder.
bool GetDesktopFolder(HWND dialog);

// COM for the thread, then both folders. Each failure shows its own start-up
// error and ends the dialog (ShowErrorAndEnd); all are tried whatever went
// wrong before. True when all three are there.
bool InitializeServices(HWND dialog);

}  // namespace app
