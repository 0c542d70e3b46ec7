#include "platform/opendialog.h"
#include <commdlg.h>
#include <cderr.h>
#include <cstring>

namespace platform {

static OpenFileHook g_hook = nullptr;

void SetOpenFileHook(OpenFileHook hook) { g_hook = hook; }

// "pattern\0pattern\0\0": one filter entry showing its own pattern. Fails
// when the pattern does not fit the caller's buffer.
static bool MakeFilter(const char* pattern, char* filter, size_t cap) {
    size_t n = std::strlen(pattern);
    if (2 * (n + 1) + 1 > cap) return false;
    std::memcpy(filter, pattern, n + 1);
    std::memcpy(filter + n + 1, pattern, n + 1);
    filter[2 * (n + 1)] = 0;
    return true;
}

bool AskOpenFile(HWND owner, const char* title, const char* pattern, const char* initialName,
                 char* out, DWORD cap) {
    if (cap == 0) { ::SetLastError(FNERR_BUFFERTOOSMALL); return false; }
    out[0] = 0;
    if (g_hook) {
        bool ok = g_hook(owner, title, pattern, initialName, out, cap);
        out[cap - 1] = 0;  // a hook is test code; never trust it to terminate
        ::SetLastError(0);
        return ok;
    }
    char filter[64];
    size_t n = std::strlen(initialName);
    if (!MakeFilter(pattern, filter, sizeof filter) || n + 1 > cap) {
        ::SetLastError(FNERR_BUFFERTOOSMALL);
        return false;
    }
    std::memcpy(out, initialName, n + 1);

    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = out;
    ofn.nMaxFile = cap;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (::GetOpenFileNameA(&ofn)) return true;
    out[0] = 0;
    ::SetLastError(::CommDlgExtendedError());
    return false;
}

}  // namespace platform
