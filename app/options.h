// The updater's command line:
//   updater.exe [/quiet] [/check] [/dir "FOLDER"] [/log "FILE"] [-d]
// Switches are matched without regard to case; "-d" keeps its own rule.
#pragma once
#include <string>

namespace app {

struct Options {
    bool diagnostic = false;
    bool quiet = false;     // no window, no box: every box takes its default answer
    bool check = false;     // preflight: find, extract, test the first patch, change nothing
    std::string folder;     // /dir: the install folder, instead of the search
    std::string logPath;    // /log: the administrator's event log
    std::string badSwitch;  // the first word not understood; empty when all were
};

// True when the text after the last space of `commandLine` is exactly "-d".
// Only the space separates words and quotes mean nothing, so "-d" inside
// quotes, after a tab or followed by anything (a space included) does not
// count, nor does a line without a space.
bool IsDiagnosticCommandLine(const char* commandLine);

// Parses the whole command line, the program's own path first. Words are
// separated by spaces and tabs; double quotes group a word and are dropped.
// A switch that needs a value and has none is a bad switch too.
// The program's path may stand unquoted with spaces in it, as a launcher
// that names the program separately may start it: when the line begins with
// `programPath` (the running executable's full path, letters compared
// without case) followed by a blank or the end, that is the program's word.
Options ParseOptions(const char* commandLine, const char* programPath = "");

}  // namespace app
