// The process's command line.
#pragma once

namespace platform {

// The whole command line as the system reports it, the program's own path
// included, in UTF-8 (empty when the system's UTF-16 line cannot be spelled
// in it). Valid for the life of the process.
const char* ProcessCommandLine();

}  // namespace platform
