// The last word of a process that fails: an unhandled exception in any
// thread (a stack overflow included) is reported and ends the process with
// an exit code of the caller's choosing, never with one that means something
// else. See README.md for the error convention.
#pragma once
#include <windows.h>

namespace platform {

// From now on an unhandled exception calls `report` with its code on the
// failing thread, then ends the process with `exitCode`. `report` must be
// short: it runs on what is left of a thread that failed.
void EndOnCrash(void (*report)(DWORD code), UINT exitCode);

// Keeps stack in reserve on the calling thread for the report after a stack
// overflow. Call at the start of every thread.
void ReserveCrashStack();

}  // namespace platform
