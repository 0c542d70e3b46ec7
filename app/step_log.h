// The engine's logs in the install folder, and the outcome of the run that
// they decide. Used by the sequencer only.
#pragma once
#include <windows.h>
#include "common/state.h"

// Forgets the outcome of an earlier run; called when a run begins.
void ResetRunOutcome();
// True once a step has failed or could not be started in this run.
bool RunHasFailed();

// Removes a "patch.err" left in `folder` by an earlier run, so that the log
// judged after the next step is that step's own.
void DeleteEngineLog(const char* folder);

// Judges the "patch.err" that a step left in `folder` and keeps it as
// "<tag>.err", replacing an older log of that name. A log that marks a
// failure is copied, so that "patch.err" still holds it for the user, and
// the run is marked failed. Returns true when the step succeeded.
bool KeepStepLog(const char* folder, const PatchStep& step);

// Writes "patch.err" in `folder` saying why the engine could not be started
// for `step` (error = the system's code), and marks the run failed.
void WriteStartFailureLog(const char* folder, const PatchStep& step, DWORD error);

// True when "patch.err" in `folder` holds the failure mark.
bool EngineLogMarksFailure(const char* folder);
