// The patch engine as a child process: started once per patch step, polled by
// process id, and ended when the user cancels.
#pragma once
#include <windows.h>

// Longest command line the engine is started with, NUL included.
constexpr size_t kEngineCommandCap = 512;

// Writes "\"<engine program>\" -e -i -v -noc <fileName>" into out. The
// program path is quoted so that a temp folder with spaces stays one word.
// Fails, leaving out empty, when the line does not fit `cap`.
bool ComposeEngineCommand(char* out, size_t cap, const char* program, const char* fileName);

// Starts g_state.engineProgramPath on the patch file `fileName` (a bare name:
// the engine finds it beside itself) with `workingFolder` as its current
// folder, shown in diagnostic mode and hidden otherwise. Returns the child's
// process id, or 0 when it could not be started; the system's reason is then
// in GetLastError().
DWORD LaunchPatchEngine(const char* fileName, const char* workingFolder);

// False for id 0 and for a process that cannot be opened; true while the
// process has not exited, and when its exit code cannot be read.
bool IsProcessRunning(DWORD processId);

// Ends the process with exit code 0 without waiting for it. Nothing happens
// for id 0 or when it cannot be opened.
void TerminateProcessById(DWORD processId);

// Waits up to `ms` for the process to be gone; true when it is (or when it
// cannot be opened, which means the same). Used after TerminateProcessById
// when the engine's files are to be deleted next: a running program's file
// cannot be.
bool WaitForProcessEnd(DWORD processId, DWORD ms);
