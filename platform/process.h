// Child processes: start, look up by id, end. See README.md for the error
// convention.
#pragma once
#include <windows.h>
#include "platform/handles.h"

namespace platform {

// Starts `program` with `commandLine` (the whole line, program path
// included; all three UTF-8) in `workingFolder`, its window shown or
// hidden. No handles are inherited; the environment is ours. The caller owns
// the process handle in `process` (the thread's is closed here) and polls,
// judges and ends the child through it: an id may belong to another program
// once it has ended.
bool StartProcess(const char* program, const char* commandLine, const char* workingFolder, bool shown, Handle& process);
// The exit code, or STILL_ACTIVE (259) while the process runs.
bool ProcessExitCode(HANDLE process, DWORD* code);
// Ends the process with `exitCode`; returns before it has gone.
bool EndProcess(HANDLE process, UINT exitCode);
// Waits up to `ms` for the process to end (or any other waitable handle,
// such as a worker thread's, to be signalled). False on timeout
// (ERROR_TIMEOUT) or failure.
bool WaitProcessEnd(HANDLE process, DWORD ms);
// The same, dispatching the thread's window messages meanwhile, so that the
// windows of the waiting thread stay responsive.
bool WaitProcessEndPumping(HANDLE process, DWORD ms);

// Lets `ms` milliseconds pass on the calling thread.
void Pause(DWORD ms);

// For unattended runs: the system shows no box of its own that would wait
// for a user (no "no disk in drive", no critical-error or crash box). Child
// processes started afterwards inherit it.
void ShowNoSystemBoxes();

}  // namespace platform
