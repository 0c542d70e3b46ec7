#include "platform/window.h"
#include <commctrl.h>
#include "platform/utf.h"

namespace platform {

HWND Control(HWND dialog, int id) { return ::GetDlgItem(dialog, id); }

bool EnableControl(HWND dialog, int id, bool enable) {
    HWND c = ::GetDlgItem(dialog, id);
    if (!c) return false;
    ::EnableWindow(c, enable ? TRUE : FALSE);  // returns the previous state, not success
    return true;
}

bool FocusControl(HWND dialog, int id) {
    HWND c = ::GetDlgItem(dialog, id);
    return c && ::SetFocus(c) != nullptr;
}

bool SetControlText(HWND dialog, int id, const char* text) {
    return ::SetDlgItemTextW(dialog, id, WideOrEmpty(text).c_str()) != 0;
}

bool InvalidateAll(HWND window) { return ::InvalidateRect(window, nullptr, TRUE) != 0; }

bool EndDialogWith(HWND dialog, INT_PTR result) { return ::EndDialog(dialog, result) != 0; }

void ProgressSetRange(HWND bar, int low, int high) { ::SendMessageW(bar, PBM_SETRANGE32, low, high); }
void ProgressSetStep(HWND bar, int step) { ::SendMessageW(bar, PBM_SETSTEP, step, 0); }
void ProgressStep(HWND bar) { ::SendMessageW(bar, PBM_STEPIT, 0, 0); }

int ProgressSetPosition(HWND bar, int pos) { return static_cast<int>(::SendMessageW(bar, PBM_SETPOS, pos, 0)); }

}  // namespace platform
