// BeginUpdate, TimerTick and CancelOrQuit: the state machine over
// g_state.running and g_state.child.
//
//   Ready    (running false, no child)  tick does nothing
//   Started  (running false, child)     tick sets running
//   Patching (running true,  child)     tick polls; an ended step is judged by
//                                       its exit code and its log, the log is
//                                       kept, the next step starts
//   Settling (running true,  no child)  tick shows the bar full, the next one
//                                       completes; also reached when a step
//                                       fails or an engine cannot be started
//   Finished (running false, no child)  tick does nothing
// Once g_state.quitting is set (Cancel/Quit), no state moves any more.
#include "app/sequencer.h"
#include <string>
#include "app/message.h"
#include "app/progress.h"
#include "app/step_log.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/state.h"
#include "payload/engine.h"
#include "platform/dir.h"
#include "platform/error.h"
#include "platform/process.h"
#include "platform/window.h"

namespace app {
using namespace common;
using namespace payload;

// The engine's options for a patch step: a log in the working folder, user
// files in removed folders kept, a line per entry, nothing on a console.
static const char kStepOptions[] = "-e -i -v -noc";
// How long Cancel waits for a killed engine to be gone, so that its program
// file can be deleted right after.
static const DWORD kEngineEndWaitMs = 5000;

// A failed run: the installation is as the steps before left it. `why` goes
// into "patch.err" for the user; when even that cannot be written, it is
// kept to be shown in a box at the completion.
static void FailRun(const std::string& why) {
    g_state.ending = Ending::kPatchFailed;
    LogEvent("update failed: " + why);
    if (!WriteEngineLog(g_state.installFolder, why + "\r\n")) g_state.failure = why;
}

static std::string StepName() { return g_patchSteps[g_state.stepIndex].fileName; }

// Starts the engine on row g_state.stepIndex. A step that cannot start fails
// the run; no child is left then.
static void LaunchStep() {
    const char* folder = g_state.installFolder;
    if (!ClearEngineLog(folder)) {
        FailRun("The log \"patch.err\" of an earlier run in " + std::string(folder) + " cannot be removed (" +
                platform::ErrorDescription(platform::LastError()) + "). The patch file " + StepName() +
                " and the ones after it were not applied.");
        return;
    }
    if (!LaunchPatchEngine(g_state.engineProgramPath, kStepOptions, StepName().c_str(), folder,
                           g_state.diagnostic && !g_state.quiet, g_state.child)) {
        DWORD error = platform::LastError();
        FailRun("The patch engine could not be started for the patch file " + StepName() +
                ".\r\nProgram: " + g_state.engineProgramPath + "\r\nReason: " + platform::ErrorDescription(error) +
                " (system error " + std::to_string(error) +
                ").\r\nThis step and the steps after it were not applied; the files in this "
                "folder are as the earlier steps left them.");
        return;
    }
    LogEvent("step " + StepName() + " started in " + folder);
}

// The child of row stepIndex has exited with `code`. A failed step stops the
// run: the engine applies a step whole or not at all, so the folder stays as
// the steps before it left it, and later steps are not run on top of it.
static void EndStep(DWORD code) {
    g_state.child.Reset();
    StepVerdict verdict = JudgeStep(g_state.installFolder, code);
    LogEvent("step " + StepName() + " ended: exit code " + std::to_string(code) + ", log: " + DescribeVerdict(verdict));
    KeepStepLog(g_state.installFolder, g_patchSteps[g_state.stepIndex], verdict == StepVerdict::kSucceeded);
    platform::SetCurrentFolder(g_state.installFolder);
    if (verdict == StepVerdict::kFailed) {
        g_state.ending = Ending::kPatchFailed;
        LogEvent("update failed at " + StepName());
        return;
    }
    if (verdict != StepVerdict::kSucceeded) {
        FailRun("The patch engine ended with exit code " + std::to_string(code) + " on the patch file " + StepName() +
                ", but its log " + DescribeVerdict(verdict) + ". The update is not taken as done.");
        return;
    }
    if (++g_state.stepIndex < kPatchStepCount) LaunchStep();
}

void BeginUpdate(HWND dialog) {
    if (!g_state.payloadReady || g_state.running || g_state.child.Valid() || g_state.quitting) return;
    SetDialogMessage(IDS_UPDATING, g_state.installFolder);
    platform::InvalidateAll(dialog);
    platform::EnableControl(dialog, IDOK, false);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, false);
    platform::SetCurrentFolder(g_state.installFolder);
    LogEvent(std::string("update begun in ") + g_state.installFolder);
    // Ticks during the copy's message boxes find no child and do nothing. A
    // failed copy does not stop the update (its boxes have told the user), but
    // the new product reads its shared files from the install folder: the
    // run cannot end as a clean update.
    g_state.sharedCopyIncomplete =
        !g_sequencerCalls.copySharedFolder(dialog, g_state.sharedFolder, g_state.installFolder);
    if (g_state.sharedCopyIncomplete) LogEvent("the shared folder was not copied whole");
    if (g_state.quitting) return;

    // Every run starts at the first row, whatever an earlier run left.
    g_state.ending = Ending::kCancelled;
    g_state.failure.clear();
    g_state.stepIndex = 0;
    g_state.barShownFull = false;
    g_state.running = false;
    LaunchStep();
    // No engine: straight to Settling, so the next ticks report the failure.
    if (!g_state.child.Valid()) g_state.running = true;
}

void TimerTick(HWND dialog) {
    if (g_state.quitting) return;
    if (!g_state.running) {
        if (g_state.child.Valid()) g_state.running = true;
        return;
    }
    if (g_state.child.Valid()) {
        DWORD code = 0;
        if (EngineExitCode(g_state.child, &code)) EndStep(code);
        if (g_state.child.Valid()) {
            StepProgress(dialog);
            return;
        }
    }
    if (!g_state.barShownFull) {
        SetProgressPosition(dialog, 250);
        g_state.barShownFull = true;
        return;
    }
    CompleteUpdate(dialog);
}

void CancelOrQuit(HWND dialog) {
    if (g_state.quitting) return;  // pressed again while the engine is being ended
    g_state.quitting = true;
    if (g_state.running || g_state.child.Valid()) {
        g_state.ending = Ending::kCancelled;
        LogEvent("cancelled by the user");
    }
    if (g_state.child.Valid()) {
        platform::EndProcess(g_state.child.Get(), 1);
        platform::WaitProcessEndPumping(g_state.child.Get(), kEngineEndWaitMs);
        g_state.child.Reset();
    }
    g_state.running = false;
    if (dialog) platform::EndDialogWith(dialog, IDCANCEL);
}

void RunUnattended() {
    BeginUpdate(nullptr);
    while (g_state.running || g_state.child.Valid()) {
        if (g_state.child.Valid()) platform::WaitProcessEnd(g_state.child.Get(), 250);
        TimerTick(nullptr);
    }
}

}  // namespace app
