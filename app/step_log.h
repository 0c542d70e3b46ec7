// The engine's log of a step in the install folder: kept under the step's
// own name, or written by the updater when the engine could not say why.
#pragma once
#include <string>
#include "common/state.h"

namespace app {

// Keeps "patch.err" of `folder` as "<tag>.err", replacing an older log of
// that name: moved when the step succeeded, copied when it failed, so that
// "patch.err" still holds the failure for the user.
void KeepStepLog(const char* folder, const common::PatchStep& step, bool succeeded);

// Writes `text` as "patch.err" in `folder`, created afresh. False when it
// cannot be written (a log that cannot be removed, a folder not writable).
bool WriteEngineLog(const char* folder, const std::string& text);

}  // namespace app
