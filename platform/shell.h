// The shell's special folders and the thread's COM apartment. See README.md
// for the error convention.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// CoInitialize. Succeeds only on a first, plain initialisation: a thread
// that had COM already (S_FALSE) fails with that code in GetLastError().
bool InitializeCom();
// CoUninitialize; one call for each InitializeCom that returned true, or
// for one that found COM already initialised.
void UninitializeCom();

// The file-system path of special folder `csidl` (CSIDL_*), with `owner` as
// the shell's owner window. Fails when the shell has no such folder or when
// it is not a file-system folder; out is then left empty.
bool SpecialFolderPath(HWND owner, int csidl, std::string& out);

}  // namespace platform
