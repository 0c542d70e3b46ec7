// Diagnostic mode from the command line.
#pragma once

// True when the text after the last space of `commandLine` is exactly "-d".
// Only the space separates words and quotes mean nothing, so "-d" inside
// quotes, after a tab or followed by anything (a space included) does not
// count, nor does a line without a space.
bool IsDiagnosticCommandLine(const char* commandLine);

// Sets g_state.diagnostic from the process's command line.
void ParseCommandLine();
