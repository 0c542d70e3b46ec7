#include "app/special_folders.h"
#include "app/fault.h"
#include "common/state.h"
#include "platform/shell.h"
#include <shlobj.h>

// The all-users folder first; a system without one (or with one too long
// for a path field) gets the user's own, without any message.
static bool FirstKnownFolder(HWND dialog, int allUsers, int currentUser, char* out) {
    return platform::SpecialFolderPath(dialog, allUsers, out, kPathCap) ||
           platform::SpecialFolderPath(dialog, currentUser, out, kPathCap);
}

bool GetStartMenuProgramsFolder(HWND dialog) {
    if (Faulted("startmenu")) return false;
    return FirstKnownFolder(dialog, CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS,
                            g_state.startMenuProgramsFolder);
}

bool GetDesktopFolder(HWND dialog) {
    if (Faulted("desktop")) return false;
    return FirstKnownFolder(dialog, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY,
                            g_state.desktopFolder);
}
