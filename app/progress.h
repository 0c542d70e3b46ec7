// The main dialog's progress bar (IDC_PROGRESS): range 0 to 250, step 1, set
// up on first use and remembered in g_state.progressControl. Stepping past
// 250 starts the bar again at 0.
#pragma once
#include <windows.h>

namespace app {

// One step. A null or control-less dialog (a test's) does nothing.
void StepProgress(HWND dialog);
// Sets the position, setting the bar up first; returns the previous position.
int SetProgressPosition(HWND dialog, int pos);

}  // namespace app
