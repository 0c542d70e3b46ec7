#include "platform/dialog.h"
#include <commctrl.h>
#include "platform/utf.h"

namespace platform {

INT_PTR Dialog::RunModal(HWND owner) {
    // The object rides in WM_INITDIALOG's parameter and is kept in the
    // window's user data for the messages that follow.
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId_), owner, &Dialog::Proc,
                             reinterpret_cast<LPARAM>(this));
}

void Dialog::End(INT_PTR result) { ::EndDialog(hwnd_, result); }

bool Dialog::OnCommand(int id, int notifyCode) {
    if (id != IDOK && id != IDCANCEL) return false;
    End(id);
    return true;
}

INT_PTR CALLBACK Dialog::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lp);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages sent before WM_INITDIALOG (WM_SETFONT) find no object yet.
    return self ? self->Dispatch(msg, wp, lp) : FALSE;
}

INT_PTR Dialog::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: return OnInitDialog() ? TRUE : FALSE;
    case WM_COMMAND: return OnCommand(LOWORD(wp), HIWORD(wp)) ? TRUE : FALSE;
    case WM_TIMER: OnTimer(wp); return TRUE;
    case WM_PAINT: return OnPaint() ? TRUE : FALSE;
    case WM_SYSCOMMAND: return OnSysCommand(wp) ? TRUE : FALSE;
    case WM_QUERYDRAGICON:
        // One of the few messages whose answer a dialog returns directly.
        return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
    }
    return FALSE;
}

bool InitDialogControls() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    return ::InitCommonControlsEx(&icc) != 0;
}

HICON LoadAppIcon(int id) { return ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id)); }

bool SetWindowIcons(HWND window, HICON big, HICON small) {
    if (!::IsWindow(window)) return false;
    ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    return true;
}

bool AppendSystemMenuItem(HWND window, UINT id, const char* text) {
    HMENU menu = ::GetSystemMenu(window, FALSE);
    if (!menu) return false;
    return ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr) &&
           ::AppendMenuW(menu, MF_STRING, id, WideOrEmpty(text).c_str());
}

bool StartTimer(HWND window, UINT_PTR id, UINT periodMs) { return ::SetTimer(window, id, periodMs, nullptr) != 0; }

HWND NthChild(HWND parent, int n) {
    HWND child = ::GetWindow(parent, GW_CHILD);
    for (int i = 0; i < n && child; ++i) child = ::GetWindow(child, GW_HWNDNEXT);
    return child;
}

bool SetWindowTextOf(HWND window, const char* text) { return ::SetWindowTextW(window, WideOrEmpty(text).c_str()) != 0; }

bool IsMinimised(HWND window) { return ::IsIconic(window) != 0; }

bool ClientSize(HWND window, int* width, int* height) {
    RECT r;
    if (!::GetClientRect(window, &r)) return false;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return true;
}

void SystemIconSize(int* width, int* height) {
    *width = ::GetSystemMetrics(SM_CXICON);
    *height = ::GetSystemMetrics(SM_CYICON);
}

void EraseIconBackground(HWND window, HDC dc) {
    ::SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
}

bool DrawIconAt(HDC dc, int x, int y, HICON icon) { return ::DrawIcon(dc, x, y, icon) != 0; }

}  // namespace platform
