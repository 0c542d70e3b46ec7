#include "scratch.h"
#include <commctrl.h>

FakeDialog::FakeDialog() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&icc);
    hwnd_ = ::CreateWindowExA(0, "STATIC", "test dialog", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr, nullptr, nullptr);
    // clang-format off
    const struct { const char* cls; const char* text; int id; } children[] = {
        {"BUTTON", "Begin &Update", IDOK}, {"BUTTON", "Ca&ncel", IDCANCEL},
        {"BUTTON", "&Change folder", 1001}, {PROGRESS_CLASSA, "Progress1", 1000},
    };
    // clang-format on
    for (const auto& c : children)
        ::CreateWindowExA(0, c.cls, c.text, WS_CHILD, 0, 0, 80, 20, hwnd_, reinterpret_cast<HMENU>(c.id),
                          ::GetModuleHandleA(nullptr), nullptr);
}

FakeDialog::~FakeDialog() {
    if (hwnd_) ::DestroyWindow(hwnd_);
}

int FakeDialog::BarPosition() const { return static_cast<int>(::SendDlgItemMessageA(hwnd_, 1000, PBM_GETPOS, 0, 0)); }

bool FakeDialog::Enabled(int id) const { return ::IsWindowEnabled(::GetDlgItem(hwnd_, id)) != 0; }

std::string FakeDialog::Text(int id) const {
    char text[256] = "";
    ::GetDlgItemTextA(hwnd_, id, text, sizeof text);
    return text;
}
