// Fault injection for the test build of the updater. The shipped executable
// links fault_none.cpp, where nothing is ever faulted; the test executable
// "updater_faults" links fault_env.cpp, which reads the environment variable
// DV_FAULT (timer, com, startmenu or desktop).
#pragma once

namespace app {

// True when the test build was told to make `what` fail.
bool Faulted(const char* what);

}  // namespace app
