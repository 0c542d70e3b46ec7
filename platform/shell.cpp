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

bool SpecialFolderPath(HWND owner, int csidl, std::string& out) {
    out.clear();
    TaskMem idList;  // the shell's answer, freed here
    HRESULT hr = ::SHGetSpecialFolderLocation(owner, csidl, idList.Out<ITEMIDLIST>());
    if (FAILED(hr)) {
        ::SetLastError(static_cast<DWORD>(hr));
        return false;
    }
    // The shell writes up to MAX_PATH units.
    wchar_t path[MAX_PATH] = L"";
    if (!::SHGetPathFromIDListW(static_cast<LPCITEMIDLIST>(idList.Get()), path)) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    return ToUtf8(path, std::char_traits<wchar_t>::length(path), out);
}

}  // namespace platform
