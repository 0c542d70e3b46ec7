#include "platform/shell.h"
#include "platform/handles.h"
#include <objbase.h>
#include <shlobj.h>
#include <cstring>

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
    if (FAILED(hr)) { ::SetLastError(static_cast<DWORD>(hr)); return false; }
    // The shell writes up to MAX_PATH bytes; measure before copying into the
    // caller's smaller buffer.
    char path[MAX_PATH] = "";
    if (!::SHGetPathFromIDListA(static_cast<LPCITEMIDLIST>(idList.Get()), path)) {
        ::SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    size_t n = std::strlen(path);
    if (n + 1 > cap) { ::SetLastError(ERROR_BUFFER_OVERFLOW); return false; }
    std::memcpy(out, path, n + 1);
    return true;
}

}  // namespace platform
