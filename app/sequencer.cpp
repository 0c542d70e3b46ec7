// BeginUpdate, TimerTick and CancelOrQuit: the state machine over
// g_state.running and g_state.childProcessId.
//
//   Ready    (running false, no child)  tick does nothing
//   Started  (running false, child)     tick sets running
//   Patching (running true,  child)     tick polls; an ended step's log is
//                                       judged and kept, the next step starts
//   Settling (running true,  no child)  tick sets the bar full, then completes;
//                                       also reached when a step fails or an
//                                       engine start fails, the first included
//   Finished (running false, no child)  tick does nothing
#include "app/sequencer.h"
#include "app/progress.h"
#include "common/ids.h"
#include "common/state.h"
#include "app/step_log.h"
#include "payload/engine.h"
#include "platform/dir.h"
#include "platform/error.h"
#include "platform/strings.h"
#include "platform/window.h"

// How long Cancel waits for a killed engine to be gone, so that its program
// file can be deleted right after.
static const DWORD kEngineEndWaitMs = 5000;

// Set by CancelOrQuit. The tree copy's message boxes run nested message
// loops in which the user can press Cancel; the copy then returns into a
// dialog that is ending, and no engine may be started after the extracted
// files are gone.
static bool g_quitting = false;

// Starts the engine on row g_state.stepIndex. A start that fails writes its
// reason into "patch.err" and fails the run; no child is left then.
static void LaunchStep() {
    const PatchStep& step = g_patchSteps[g_state.stepIndex];
    DeleteEngineLog(step.workingFolder);
    g_state.childProcessId = LaunchPatchEngine(step.fileName, step.workingFolder);
    if (g_state.childProcessId == 0)
        WriteStartFailureLog(step.workingFolder, step, platform::LastError());
}

// The child of row stepIndex has exited. A failed step stops the run: the
// engine applies a step whole or not at all, so the folder stays as the
// steps before it left it, and later steps are not run on top of it.
static void EndStep() {
    g_state.childProcessId = 0;
    bool ok = KeepStepLog(g_state.installFolder, g_patchSteps[g_state.stepIndex]);
    platform::SetCurrentFolder(g_state.installFolder);
    if (!ok) return;
    ++g_state.stepIndex;
    if (!g_patchSteps[g_state.stepIndex].workingFolder) {
        g_state.stepIndex = 0;
        return;
    }
    LaunchStep();
}

void BeginUpdate(HWND dialog) {
    g_state.message = platform::FormatText(platform::LoadText(IDS_UPDATING), g_state.installFolder);
    if (g_state.diagnostic) g_sequencerCalls.appendDiagnosticSuffix();
    platform::InvalidateAll(dialog);
    platform::EnableControl(dialog, IDOK, false);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, false);
    platform::SetCurrentFolder(g_state.installFolder);
    // Ticks during the copy's message boxes find no child and do nothing.
    g_sequencerCalls.copySharedFolder(dialog, g_state.sharedFolder, g_state.installFolder);
    if (g_quitting) return;

    // Every run starts at the first row, whatever an earlier run left.
    ResetRunOutcome();
    g_state.stepIndex = 0;
    g_state.running = false;
    LaunchStep();
    // No engine: straight to Settling, so the next ticks report the failure.
    if (g_state.childProcessId == 0) g_state.running = true;
}

void TimerTick(HWND dialog) {
    if (!g_state.running) {
        if (g_state.childProcessId != 0) g_state.running = true;
        return;
    }
    if (g_state.childProcessId != 0 && !IsProcessRunning(g_state.childProcessId)) EndStep();
    if (g_state.childProcessId != 0) {
        StepProgress(dialog);
        return;
    }
    if (SetProgressPosition(dialog, 250) != 250) return;
    CompleteUpdate(dialog);
}

void CancelOrQuit(HWND dialog) {
    g_quitting = true;
    if (g_state.childProcessId != 0) {
        TerminateProcessById(g_state.childProcessId);
        WaitForProcessEnd(g_state.childProcessId, kEngineEndWaitMs);
        g_state.childProcessId = 0;
    }
    g_sequencerCalls.removeExtractedFiles();
    g_sequencerCalls.uninitializeCom();
    platform::EndDialogWith(dialog, IDCANCEL);
}
