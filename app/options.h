// The updater's command line:
//   updater.exe [/quiet] [/check] [/msicodes] [/dir "FOLDER"] [/log "FILE"] [-d]
// Switches are matched without regard to case; "-d" keeps its own rule.
#pragma once
#include <string>
#include "common/state.h"

namespace app {

struct Options {
    bool diagnostic = false;
    bool quiet = false;     // no window, no box: every box takes its default answer
    bool check = false;     // preflight: find, extract, test the first patch, change nothing
    bool msiCodes = false;  // end with Windows Installer's exit codes (ExitCode)
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
// "/msicodes" counts wherever it stands, a bad switch before it included:
// a fleet tool that asked for those codes reads a typo as one of them.
Options ParseOptions(const char* commandLine, const char* programPath = "");

// Windows Installer's exit codes, which fleet tools (Intune, Configuration
// Manager) read without a table of their own.
constexpr int kMsiSuccess = 0;
constexpr int kMsiUserExit = 1602;  // cancelled by the user
constexpr int kMsiInstallFailure = 1603;
constexpr int kMsiRetryLater = 1618;  // "another installation is in progress": tried again later
constexpr int kMsiBadCommandLine = 1639;

// The process exit code of `ending`: its own number, or with `msiCodes`
// Windows Installer's: 0 updated; 1618 for every ending a later run finishes
// or that asks to try again later (4, 5, 8, 9, 12); 1602 cancelled (6); 1603
// a refusal that needs a person (1, 2, 3, 10, 11); 1639 a bad switch (7).
int ExitCode(common::Ending ending, bool msiCodes);

}  // namespace app
