// The engine's command line: options (each a word starting with "-", compared
// without regard to case) and exactly one patch file name.
#pragma once
#include <string>
#include <vector>

namespace eng {

struct Options {
    bool errorLog = false;      // -e   write the log "patch.err" into the working folder
    bool ignoreExtras = false;  // -i   keep a folder to be removed that still holds unknown files
    bool verbose = false;       // -v   one log line per entry, not just errors and the outcome
    bool noConsole = false;     // -noc nothing on the console
    bool testOnly = false;      // -t   check patch and folder, change nothing
    std::wstring patchName;
    std::vector<std::wstring> unknown;  // options not recognised, as given
    int names = 0;                      // how many non-option words were given
};

// args excludes the program name.
Options ParseOptions(const std::vector<std::wstring>& args);

}  // namespace eng
