// The shell's special folders and the thread's COM apartment. See README.md
// for the error convention.
#pragma once
#include <windows.h>
#include <cstddef>

namespace platform {

// CoInitialize. Succeeds only on a first, plain initialisation: a thread
// that had COM already (S_FALSE) fails with that code in GetLastError().
bool InitializeCom();
// CoUninitialize; one call for each InitializeCom that returned true, or
// for one that found COM already initialised.
void UninitializeCom();

// The file-system path of special folder `csidl` (CSIDL_*), with `owner` as
// the shell's owner window. Fails when the shell has no such folder, when it
// is not a file-system folder, or when the path (UTF-8) does not fit `cap` bytes with
// its NUL (ERROR_BUFFER_OVERFLOW); out is then left empty.
bool SpecialFolderPath(HWND owner, int csidl, char* out, size_t cap);

}  // namespace platform
