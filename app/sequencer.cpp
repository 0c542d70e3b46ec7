// BeginUpdate, TimerTick and CancelOrQuit: the state machine over
// g_state.running and g_state.child, which is the handle of whatever runs
// the current phase (the engine's process or a worker thread).
//
//   Ready    (running false, no child)  tick does nothing
//   Running  (running true,  child)     tick polls; the preflight's end starts
//                                       the first phase or, when it says no,
//                                       goes back to Ready; an ended phase is
//                                       judged, noted in the record, the next
//                                       starts
//   Settling (running true,  no child)  tick shows the bar full, the next one
//                                       completes; reached when every phase
//                                       has run or one stopped the run
//   Finished (running false, no child)  tick does nothing
// Once g_state.quitting is set (Cancel/Quit), no state moves any more.
#include "app/sequencer.h"
#include <string>
#include "app/message.h"
#include "app/phases.h"
#include "app/progress.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/state.h"
#include "platform/process.h"
#include "platform/window.h"

namespace app {
using namespace common;

// How long Cancel waits for a killed engine to be gone, so that its program
// file can be deleted right after; and for a migration phase to reach the
// end of the item it is on.
static const DWORD kEngineEndWaitMs = 5000;
static const DWORD kWorkerStopWaitMs = 120000;

void BeginUpdate(HWND dialog) {
    if (!g_state.payloadReady || g_state.running || g_state.child.Valid() || g_state.quitting) return;
    platform::EnableControl(dialog, IDOK, false);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, false);
    g_state.ending = Ending::kCancelled;
    g_state.failure.clear();
    g_state.stepIndex = 0;
    g_state.barShownFull = false;
    ResetPhases();
    g_state.running = true;
    StartPreflight(dialog);
}

// One tick's work: the running phase polled and judged, the next started.
static void Tick(HWND dialog) {
    if (g_state.child.Valid()) {
        if (!platform::WaitProcessEnd(g_state.child.Get(), 0)) return;
        EndPhase(dialog);              // the next phase starts at once
        if (!g_state.running) return;  // the preflight said no: ready again
        SetProgressPosition(dialog, WorkDone(250));
        if (g_state.child.Valid()) return;
    }
    if (!g_state.barShownFull) {
        SetProgressPosition(dialog, 250);
        g_state.barShownFull = true;
        return;
    }
    CompleteUpdate(dialog);
}

// A tick inside a box that a tick showed (the preflight's, whose Retry
// starts it again) does nothing: the run is not settling then.
static bool g_inTick = false;

void TimerTick(HWND dialog) {
    if (g_state.quitting || !g_state.running || g_inTick) return;
    g_inTick = true;
    Tick(dialog);
    g_inTick = false;
}

void CancelOrQuit(HWND dialog) {
    if (g_state.quitting) return;  // pressed again while a phase is being ended
    g_state.quitting = true;
    if (g_state.running || g_state.child.Valid()) {
        g_state.ending = Ending::kCancelled;
        // No record yet: the preflight was still looking, nothing began.
        LogEvent(g_state.recordPath.empty() ? "cancelled by the user before the update began; nothing has been changed"
                                            : "cancelled by the user; running the updater again finishes the update");
    }
    if (g_state.child.Valid()) {
        if (PhaseOnWorker()) {
            RequestStop();
            platform::WaitProcessEndPumping(g_state.child.Get(), kWorkerStopWaitMs);
        } else {
            platform::EndProcess(g_state.child.Get(), 1);
            platform::WaitProcessEndPumping(g_state.child.Get(), kEngineEndWaitMs);
        }
        g_state.child.Reset();
    }
    g_state.running = false;
    FlushEventLog();
    if (dialog) platform::EndDialogWith(dialog, IDCANCEL);
}

void RunUnattended() {
    BeginUpdate(nullptr);
    while (g_state.running || g_state.child.Valid()) {
        if (g_state.child.Valid()) platform::WaitProcessEnd(g_state.child.Get(), 250);
        TimerTick(nullptr);
    }
}

void ResetSequencer() {
    ResetPhases();
    g_inTick = false;
}

}  // namespace app
