// Words for the system's error codes, for logs the user is sent to read.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// The system's description of `code` without its trailing line break, or
// "error N" when the system has none.
std::string ErrorDescription(DWORD code);

}  // namespace platform

namespace platform {

// The calling thread's last-error value, for layers that must not call the
// system themselves.
DWORD LastError();
void SetLastErrorCode(DWORD code);

}  // namespace platform
