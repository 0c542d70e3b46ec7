// The update sequencer: "Begin Update", the dialog's timer (a tenth of a
// second) that watches the worker thread running the phases one after
// another, the completion, and Cancel/Quit.
// Every handler runs on the dialog's thread; with /quiet the same handlers
// run with no dialog (null), driven by RunUnattended.
//
// An update is the phases of common::Phase (phase_list.h): the copy of the
// shared folder, the three patch steps (the engine as a child process), the
// move, the renames, the shortcuts, the registry and the leftovers, run by
// one loop on a worker thread so that the dialog goes on answering. Before the first change the
// preflight must pass and the update record is written; after each phase
// the record notes it done; a run that stops anywhere (Cancel, a failure, a
// kill) leaves the record, and the next run finishes the phases not done.
#pragma once
#include <windows.h>

namespace app {

// Handler of IDOK ("Begin Update"): starts the preflight; nothing else
// starts unless it passes (a box or, with /quiet, the log says why); then the
// update record is written and the first phase not done starts (see
// phases.h). Does nothing unless the payload is ready and no run is under way.
void BeginUpdate(HWND dialog);
// Handler of the dialog's timer: sets the bar to the share of the work done
// (WorkDone), starts the phases when the preflight has passed, and completes
// the run once the phases' loop has ended.
// Does nothing once Cancel/Quit was pressed.
void TimerTick(HWND dialog);
// The last stage of a run: the outcome (success only when every phase is
// done), its message and box, then the dialog's final state. Sets
// g_state.ending; removes the record of a completed update.
void CompleteUpdate(HWND dialog);
// Handler of IDCANCEL (Cancel/Quit): nothing starts after it. The worker is
// asked to stop between two items (a running engine is ended) and waited
// for, the window kept responsive meanwhile; the record
// stays for the next run. A run under way ends as cancelled. Ends the dialog
// when there is one; the caller removes the payload once the dialog is gone.
void CancelOrQuit(HWND dialog);
// Runs BeginUpdate and the ticks without a dialog until the run has
// completed (or, when it could not begin, at once).
void RunUnattended();
// Forgets this process's run (tests run many in one process).
void ResetSequencer();

}  // namespace app
