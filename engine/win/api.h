// What "patchw32.dll" exports, for "patch.exe" and any other host program.
#pragma once
#include <wchar.h>

// The engine's run: argv without the program name (argc words), and the
// folder that holds the engine, where a patch file given by bare name is
// looked for first. Works on the current folder; returns the exit code:
// 0 done, 1 not done (folder unchanged), 2 bad command line, 3 unsettled
// (an undo failed; the next run retries it).
typedef int(__cdecl* PatchRunWFn)(int argc, const wchar_t* const* argv, const wchar_t* engineFolder);
#define PATCH_RUN_EXPORT "PatchRunW"
