// The process's command line.
#pragma once

namespace platform {

// The whole command line as the system reports it, the program's own path
// included. Owned by the system; valid for the life of the process.
const char* ProcessCommandLine();

}  // namespace platform
