// Fault injection for the test build of the updater. The shipped executable
// links fault_none.cpp, where nothing is ever faulted; the test executable
// "updater_faults" links fault_env.cpp, which reads the environment:
//   DV_FAULT=timer|com|startmenu|desktop   that start-up service fails
//   DV_KILL_AT=WHERE:N                     the process ends dead (as in a power
//                                          cut) the Nth time it passes WHERE
//   DV_CRASH_AT=WHERE:N                    the same, but by an access violation,
//                                          as a fault of the updater's own would
//   DV_ENGINE_STOP=STEP:N                  the engine of patch step STEP (1-3)
//                                          ends dead at its Nth point
//                                          (DVPATCH_STOP_AT, engine/README.md)
#pragma once

namespace app {

// True when the test build was told to make `what` fail.
bool Faulted(const char* what);

// A boundary of the update, by name: "ended" (a phase's work has ended, not
// yet noted in the record), "done" (a phase noted done), "registry-root",
// or a phase's key ("shared-copy", "move", "renames", "shortcuts",
// "registry": before each of its items). The test build may end the process
// here.
void AtBoundary(const char* where);

// Just before the engine of patch step `step` (0-based) starts: the test
// build may have it stop itself at a point of its run.
void BeforeEngine(int step);

}  // namespace app
