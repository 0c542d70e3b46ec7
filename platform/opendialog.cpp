#include "platform/opendialog.h"
#include <commdlg.h>
#include <cderr.h>
#include <string>
#include <vector>
#include "platform/utf.h"

namespace platform {

static OpenFileHook g_hook = nullptr;

void SetOpenFileHook(OpenFileHook hook) { g_hook = hook; }

// Room for the longest path Windows allows.
constexpr DWORD kFileUnits = 32768;

bool AskOpenFile(HWND owner, const char* title, const char* pattern, const char* initialName, std::string& out) {
    out.clear();
    if (g_hook) {
        bool ok = g_hook(owner, title, pattern, initialName, out);
        if (!ok) out.clear();
        ::SetLastError(0);
        return ok;
    }
    std::wstring wpattern, wname, wtitle;
    if (!ToWide(pattern, wpattern) || !ToWide(initialName, wname) || !ToWide(title, wtitle) ||
        wname.size() >= kFileUnits) {
        ::SetLastError(FNERR_BUFFERTOOSMALL);
        return false;
    }
    // "pattern\0pattern\0\0": one filter entry showing its own pattern.
    std::wstring filter = wpattern + L'\0' + wpattern + L'\0' + L'\0';
    std::vector<wchar_t> file(kFileUnits);
    wname.copy(file.data(), wname.size());
    file[wname.size()] = 0;

    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = kFileUnits;
    ofn.lpstrTitle = wtitle.c_str();
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (::GetOpenFileNameW(&ofn)) return ToUtf8(file.data(), std::char_traits<wchar_t>::length(file.data()), out);
    ::SetLastError(::CommDlgExtendedError());
    return false;
}

}  // namespace platform
