#include "payload/engine.h"
#include <cstring>
#include "common/state.h"
#include "platform/error.h"
#include "platform/process.h"

static const char kEngineOptions[] = " -e -i -v -noc ";

bool ComposeEngineCommand(char* out, size_t cap, const char* program, const char* fileName) {
    size_t p = std::strlen(program), o = std::strlen(kEngineOptions), f = std::strlen(fileName);
    // Two quotes around the program, then the options, the name and the NUL.
    if (cap == 0 || p + 2 + o + f + 1 > cap) {
        if (cap > 0) out[0] = '\0';
        return false;
    }
    char* w = out;
    *w++ = '"';
    std::memcpy(w, program, p);
    w += p;
    *w++ = '"';
    std::memcpy(w, kEngineOptions, o);
    w += o;
    std::memcpy(w, fileName, f);
    w[f] = '\0';
    return true;
}

DWORD LaunchPatchEngine(const char* fileName, const char* workingFolder) {
    char line[kEngineCommandCap];
    if (!ComposeEngineCommand(line, sizeof line, g_state.engineProgramPath, fileName)) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    DWORD pid = 0;
    if (!platform::StartProcess(g_state.engineProgramPath, line, workingFolder,
                                g_state.diagnostic, &pid))
        return 0;
    return pid;
}

bool IsProcessRunning(DWORD processId) {
    if (processId == 0) return false;
    platform::Handle process;
    if (!platform::OpenProcessById(processId, PROCESS_QUERY_INFORMATION, process)) return false;
    DWORD code = 0;
    if (!platform::ProcessExitCode(process.Get(), &code)) return true;
    return code == STILL_ACTIVE;
}

void TerminateProcessById(DWORD processId) {
    if (processId == 0) return;
    platform::Handle process;
    if (!platform::OpenProcessById(processId, PROCESS_TERMINATE, process)) return;
    platform::EndProcess(process.Get(), 0);
}

bool WaitForProcessEnd(DWORD processId, DWORD ms) {
    if (processId == 0) return true;
    platform::Handle process;
    // A process that cannot be opened any more has gone.
    if (!platform::OpenProcessById(processId, SYNCHRONIZE, process)) return true;
    return platform::WaitProcessEnd(process.Get(), ms);
}
