// The engine's entry point, shared by the DLL export and the tests.
#pragma once
#include <string>
#include <vector>

namespace eng {

// args: the command line without the program name. engineFolder: where the
// engine's files are, searched first for a patch file given by bare name.
// The working folder is the process's current folder. Returns the exit code
// (runner.h); every run that does not complete logs "wpt0036".
int RunEngine(const std::vector<std::wstring>& args, const std::wstring& engineFolder);

}  // namespace eng
