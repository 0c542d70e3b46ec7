// The account the process runs as. See README.md for the error convention.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// The current user's security identifier as text ("S-1-5-21-..."), the name
// of that user's hive below HKEY_USERS. Fails with ERROR_INSUFFICIENT_BUFFER
// when it does not fit `cap` bytes with its NUL.
bool CurrentUserSid(std::string& out);

}  // namespace platform
