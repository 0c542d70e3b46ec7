#include "app/command_line.h"
#include "common/state.h"
#include "platform/command_line.h"
#include <cstring>

bool IsDiagnosticCommandLine(const char* commandLine) {
    const char* lastSpace = std::strrchr(commandLine, ' ');
    return lastSpace && std::strcmp(lastSpace + 1, "-d") == 0;
}

void ParseCommandLine() {
    if (IsDiagnosticCommandLine(platform::ProcessCommandLine())) g_state.diagnostic = true;
}
