// Access control for what the updater creates. See README.md for the error
// convention.
#pragma once
#include <windows.h>

namespace platform {

// Creates one folder that only the current user, the administrators and the
// system may use: it gets a protected access list of its own instead of the
// parent's inherited one (a drive's root lets every user change files in
// folders made below it). Fails when the name exists already.
bool CreatePrivateFolder(const char* path);

}  // namespace platform
