// BeginUpdate, TimerTick and CancelOrQuit: the state machine over
// g_state.running and g_state.child, the worker thread that runs the
// preflight and then the phases' loop (phases.h); the dialog only watches.
//
//   Ready    (running false, no child)  tick does nothing
//   Running  (running true,  child)     tick moves the bar; the preflight's
//                                       end starts the phases' loop or, when
//                                       it says no, goes back to Ready; the
//                                       loop's end is judged
//   Settling (running true,  no child)  tick shows the bar full, the next one
//                                       completes
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

// How long Cancel waits for the worker to reach the end of the item it is
// on (a running engine is ended at once and waited for).
static const DWORD kWorkerStopWaitMs = 120000;

void BeginUpdate(HWND dialog) {
    if (!g_state.payloadReady || g_state.running || g_state.child.Valid() || g_state.quitting) return;
    platform::EnableControl(dialog, IDOK, false);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, false);
    g_state.ending = Ending::kCancelled;
    g_state.failure.clear();
    g_state.barShownFull = false;
    g_state.migratingShown = false;
    ResetPhases();
    g_state.running = true;
    StartPreflight(dialog);
}

// The bar, and the message once the migration is under way.
static void Watch(HWND dialog) {
    SetProgressPosition(dialog, WorkDone(250));
    if (Migrating() && !g_state.migratingShown) {
        g_state.migratingShown = true;
        SetDialogMessage(IDS_MIGRATING, g_state.finalInstallFolder.c_str());
        platform::InvalidateAll(dialog);
    }
}

// One tick's work: the worker watched, and judged once it has ended.
static void Tick(HWND dialog) {
    if (g_state.child.Valid()) {
        if (!platform::WaitProcessEnd(g_state.child.Get(), 0)) return Watch(dialog);
        WorkerEnded(dialog);           // the phases' loop starts at once
        if (!g_state.running) return;  // the preflight said no: ready again
        Watch(dialog);
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
        RequestStop();
        platform::WaitProcessEndPumping(g_state.child.Get(), kWorkerStopWaitMs);
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
