#include "platform/shell.h"
#include "platform/handles.h"
#include "platform/utf.h"
#include <objbase.h>
#include <shlobj.h>

namespace platform {

bool InitializeCom() {
    HRESULT hr = ::CoInitialize(nullptr);
    if (hr == S_OK) return true;
    ::SetLastError(static_cast<DWORD>(hr));
    return false;
}

void UninitializeCom() { ::CoUninitialize(); }

bool SpecialFolderPath(HWND owner, int csidl, char* out, size_t cap) {
    if (cap > 0) out[0] = '\0';
    TaskMem idList;  // the shell's answer, freed here
    HRESULT hr = ::SHGetSpecialFolderLocation(owner, csidl, idList.Out<ITEMIDLIST>());
    if (FAILED(hr)) {
        ::SetLastError(static_cast<DWORD>(hr));
        return false;
    }
    // The shell writes up to MAX_PATH units; measure before copying into the
    // caller's buffer.
    wchar_t path[MAX_PATH] = L"";
    if (!::SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(idList.Get()), path)) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (CopyUtf8(path, std::char_traits<wchar_t>::length(path), out, cap)) return true;
    if (::GetLastError() == ERROR_INSUFFICIENT_BUFFER) ::SetLastError(ERROR_BUFFER_OVERFLOW);
    return false;
}

}  // namespace platform
