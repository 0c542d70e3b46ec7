// Modal dialogs from templates in the running executable, over the plain
// dialog API. A subclass overrides the handlers it needs; the rest get the
// system's default processing. Texts are UTF-8. See README.md for the error
// convention.
#pragma once
#include <windows.h>

namespace platform {

class Dialog {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the dialog and runs its modal loop until End(). Returns the
    // result given to End(), or -1 when the dialog could not be created
    // (the reason is in GetLastError()).
    INT_PTR RunModal(HWND owner);
    // Ends the modal loop with `result`. Requested during initialisation,
    // the loop is never entered.
    void End(INT_PTR result);
    HWND Window() const { return hwnd_; }

protected:
    // WM_INITDIALOG; controls exist. True lets the system focus the first
    // tab stop.
    virtual bool OnInitDialog() { return true; }
    // WM_COMMAND. Returns true when handled. The default ends the dialog on
    // IDOK and IDCANCEL (Enter, Escape, closing the window).
    virtual bool OnCommand(int id, int notifyCode);
    virtual void OnTimer(UINT_PTR id) {}
    // WM_PAINT; false leaves painting to the system.
    virtual bool OnPaint() { return false; }
    // WM_SYSCOMMAND; false gives the command the default processing.
    virtual bool OnSysCommand(WPARAM command) { return false; }
    // WM_QUERYDRAGICON; null leaves the answer to the system.
    virtual HICON OnQueryDragIcon() { return nullptr; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    INT_PTR Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    int templateId_;
    HWND hwnd_ = nullptr;
};

// Registers the common-control classes the dialogs use (the progress bar).
// The look of the controls comes from the executable's manifest.
bool InitDialogControls();

// Icon `id` of the running executable at the system's large-icon size.
// Shared by the system: nobody frees it.
HICON LoadAppIcon(int id);
bool SetWindowIcons(HWND window, HICON big, HICON small);
// Appends a separator and then item `id` with `text` to the window's system
// menu. Fails when the window has none.
bool AppendSystemMenuItem(HWND window, UINT id, const char* text);
bool StartTimer(HWND window, UINT_PTR id, UINT periodMs);

// The child `n` steps after the first child in the sibling order, which for
// a dialog is the order of its template; null when there are fewer.
HWND NthChild(HWND parent, int n);
bool SetWindowTextOf(HWND window, const char* text);
bool IsMinimised(HWND window);
bool ClientSize(HWND window, int* width, int* height);
// The size the system draws icons at (SM_CXICON, SM_CYICON).
void SystemIconSize(int* width, int* height);
// Asks the window to erase the background behind its minimised icon.
void EraseIconBackground(HWND window, HDC dc);
bool DrawIconAt(HDC dc, int x, int y, HICON icon);

}  // namespace platform
