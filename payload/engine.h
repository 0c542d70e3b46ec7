// The patch engine as a child process: started once per patch step, owned
// by its process handle, judged by its exit code and its log.
#pragma once
#include <windows.h>
#include <string>
#include "platform/handles.h"

namespace payload {

// The log the engine writes into its working folder with "-e", the line a
// completed run ends its log with, and the text that marks a run that did
// not complete.
extern const char kEngineLogName[];
extern const char kEngineDoneMark[];
extern const char kEngineFailureMark[];

// "\"<program>\" <options> <fileName>": the program path is quoted so that a
// temp folder with spaces stays one word.
std::string ComposeEngineCommand(const char* program, const char* options, const char* fileName);

// Starts `program` with `options` on the patch file `fileName` (a bare
// name: the engine finds it beside itself) in `workingFolder`, shown or
// hidden. On success `process` owns the child. On failure the system's
// reason is in GetLastError(); an empty program path fails with
// ERROR_FILE_NOT_FOUND before anything is started.
bool LaunchPatchEngine(const char* program, const char* options, const char* fileName, const char* workingFolder,
                       bool shown, platform::Handle& process);

// The child's exit code once it has ended; false while it runs (or when its
// code cannot be read, which is treated the same until it is).
bool EngineExitCode(const platform::Handle& process, DWORD* code);

// Removes "patch.err" from `folder`, clearing its read-only attribute first,
// so that the log judged after the next step can only be that step's own.
// False when a log is still there afterwards.
bool ClearEngineLog(const char* folder);

// What a step's log and exit code say, judged fail-closed: a step succeeded
// only when the engine exited with 0 and its log in `folder` could be read,
// ends the run with kEngineDoneMark and holds no kEngineFailureMark. The
// marks are found in any letter case, also after a stray NUL; a file over
// 64 MiB is no log.
enum class StepVerdict {
    kSucceeded,
    kFailed,       // the engine said so: non-zero exit code or the failure mark
    kNoLog,        // the log is missing or cannot be read
    kUnconfirmed,  // exit code 0 and a log without the failure mark, but no completion line
};
StepVerdict JudgeStep(const char* folder, DWORD exitCode);
const char* DescribeVerdict(StepVerdict v);

}  // namespace payload
