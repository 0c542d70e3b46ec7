#include "payload/engine.h"
#include <cstring>
#include "platform/error.h"
#include "platform/process.h"

namespace payload {

bool ComposeEngineCommand(char* out, size_t cap, const char* program, const char* options, const char* fileName) {
    size_t p = std::strlen(program), o = std::strlen(options), f = std::strlen(fileName);
    // Two quotes around the program, a space, the options, a space, the name and the NUL.
    if (cap == 0 || p + 2 + 1 + o + 1 + f + 1 > cap) {
        if (cap > 0) out[0] = '\0';
        return false;
    }
    char* w = out;
    *w++ = '"';
    std::memcpy(w, program, p);
    w += p;
    *w++ = '"';
    *w++ = ' ';
    std::memcpy(w, options, o);
    w += o;
    *w++ = ' ';
    std::memcpy(w, fileName, f + 1);
    return true;
}

bool LaunchPatchEngine(const char* program, const char* options, const char* fileName, const char* workingFolder,
                       bool shown, platform::Handle& process) {
    process.Reset();
    if (!program[0]) {
        platform::SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return false;
    }
    char line[kEngineCommandCap];
    if (!ComposeEngineCommand(line, sizeof line, program, options, fileName)) {
        platform::SetLastErrorCode(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    return platform::StartProcess(program, line, workingFolder, shown, process);
}

bool EngineExitCode(const platform::Handle& process, DWORD* code) {
    // Ended is read from the handle's state, not from the code: a program may
    // exit with the value that also means "still active".
    return process.Valid() && platform::WaitProcessEnd(process.Get(), 0) &&
           platform::ProcessExitCode(process.Get(), code);
}

}  // namespace payload
