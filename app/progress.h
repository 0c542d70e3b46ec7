// The main dialog's progress bar (IDC_PROGRESS): range 0 to 250, step 1, set
// up on first use and remembered in g_state.progressControl.
#pragma once
#include <windows.h>

namespace app {

// Sets the position, setting the bar up first; returns the previous position.
// A null or control-less dialog (a test's) does nothing.
int SetProgressPosition(HWND dialog, int pos);

}  // namespace app
