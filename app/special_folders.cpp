#include "app/special_folders.h"
#include "app/fault.h"
#include "app/startup_error.h"
#include "common/state.h"
#include "platform/shell.h"
#include <shlobj.h>

namespace app {
using namespace common;

// The all-users folder first; a system without one gets the user's own,
// without any message.
static bool FirstKnownFolder(HWND dialog, int allUsers, int currentUser, std::string& out) {
    return platform::SpecialFolderPath(dialog, allUsers, out) || platform::SpecialFolderPath(dialog, currentUser, out);
}

bool GetStartMenuProgramsFolder(HWND dialog) {
    if (Faulted("startmenu")) return false;
    return FirstKnownFolder(dialog, CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, g_state.startMenuProgramsFolder);
}

bool GetDesktopFolder(HWND dialog) {
    if (Faulted("desktop")) return false;
    return FirstKnownFolder(dialog, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY, g_state.desktopFolder);
}

bool InitializeServices(HWND dialog) {
    bool ok = true;
    if (Faulted("com")) platform::InitializeCom();  // a second call below then finds COM initialised
    if (!platform::InitializeCom()) {
        ShowErrorAndEnd(dialog, "Can't initialize COM.", Ending::kInitFailed);
        ok = false;
    }
    if (!GetStartMenuProgramsFolder(dialog)) {
        ShowErrorAndEnd(dialog, "Can't get Start Menu location.", Ending::kInitFailed);
        ok = false;
    }
    if (!GetDesktopFolder(dialog)) {
        ShowErrorAndEnd(dialog, "Can't get Desktop folder location.", Ending::kInitFailed);
        ok = false;
    }
    return ok;
}

}  // namespace app
