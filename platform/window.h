// Windows and controls of a dialog; texts are UTF-8. See README.md for the
// error convention.
#pragma once
#include <windows.h>

namespace platform {

HWND Control(HWND dialog, int id);
bool EnableControl(HWND dialog, int id, bool enable);
bool FocusControl(HWND dialog, int id);
bool SetControlText(HWND dialog, int id, const char* text);
// Invalidates the whole window with background erase.
bool InvalidateAll(HWND window);
bool EndDialogWith(HWND dialog, INT_PTR result);

// Progress bar ("msctls_progress32") requests.
void ProgressSetRange(HWND bar, int low, int high);
void ProgressSetStep(HWND bar, int step);
void ProgressStep(HWND bar);
// Returns the position the bar had before.
int ProgressSetPosition(HWND bar, int pos);

}  // namespace platform
