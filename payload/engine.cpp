#include "payload/engine.h"
#include "platform/error.h"
#include "platform/process.h"

namespace payload {

std::string ComposeEngineCommand(const char* program, const char* options, const char* fileName) {
    return std::string("\"") + program + "\" " + options + " " + fileName;
}

bool LaunchPatchEngine(const char* program, const char* options, const char* fileName, const char* workingFolder,
                       bool shown, platform::Handle& process) {
    process.Reset();
    if (!program[0]) {
        platform::SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return false;
    }
    std::string line = ComposeEngineCommand(program, options, fileName);
    return platform::StartProcess(program, line.c_str(), workingFolder, shown, process);
}

bool EngineExitCode(const platform::Handle& process, DWORD* code) {
    // Ended is read from the handle's state, not from the code: a program may
    // exit with the value that also means "still active".
    return process.Valid() && platform::WaitProcessEnd(process.Get(), 0) &&
           platform::ProcessExitCode(process.Get(), code);
}

}  // namespace payload
