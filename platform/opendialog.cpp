#include "platform/opendialog.h"
#include <commdlg.h>
#include <cderr.h>
#include <cstring>
#include <string>
#include <vector>
#include "platform/utf.h"

namespace platform {

static OpenFileHook g_hook = nullptr;

void SetOpenFileHook(OpenFileHook hook) { g_hook = hook; }

bool AskOpenFile(HWND owner, const char* title, const char* pattern, const char* initialName, char* out, DWORD cap) {
    if (cap == 0) {
        ::SetLastError(FNERR_BUFFERTOOSMALL);
        return false;
    }
    out[0] = 0;
    if (g_hook) {
        bool ok = g_hook(owner, title, pattern, initialName, out, cap);
        out[cap - 1] = 0;  // a hook is test code; never trust it to terminate
        ::SetLastError(0);
        return ok;
    }
    std::wstring wpattern, wname, wtitle;
    if (!ToWide(pattern, wpattern) || !ToWide(initialName, wname) || !ToWide(title, wtitle) ||
        std::strlen(initialName) + 1 > cap) {
        ::SetLastError(FNERR_BUFFERTOOSMALL);
        return false;
    }
    // "pattern\0pattern\0\0": one filter entry showing its own pattern.
    std::wstring filter = wpattern + L'\0' + wpattern + L'\0' + L'\0';
    // The dialog writes UTF-16; a path that fits cap bytes in UTF-8 has at
    // most cap units, so a longer answer is refused by the dialog itself.
    std::vector<wchar_t> file(cap);
    wname.copy(file.data(), wname.size());
    file[wname.size()] = 0;

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = cap;
    ofn.lpstrTitle = wtitle.c_str();
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (::GetOpenFileNameW(&ofn)) {
        if (CopyUtf8(file.data(), std::char_traits<wchar_t>::length(file.data()), out, cap)) return true;
        ::SetLastError(FNERR_BUFFERTOOSMALL);
        return false;
    }
    out[0] = 0;
    ::SetLastError(::CommDlgExtendedError());
    return false;
}

}  // namespace platform
