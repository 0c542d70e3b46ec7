// The update sequencer: "Begin Update", the one-second timer that runs the
// patch steps one after another, the completion, and Cancel/Quit. Every
// handler runs on the dialog's thread; with /quiet the same handlers run
// with no dialog (null), driven by RunUnattended.
#pragma once
#include <windows.h>

namespace app {

// Handler of IDOK ("Begin Update"): copies the shared folder into the
// install folder and starts the engine on the first patch step. Does
// nothing unless the payload is ready and no run is under way.
void BeginUpdate(HWND dialog);
// Handler of the dialog's timer: polls the engine, moves on to the next step
// when it has ended, advances the bar, and completes the run at the end.
// Does nothing once Cancel/Quit was pressed.
void TimerTick(HWND dialog);
// The last stage of a run: failure report, or migration and success report;
// then the dialog's final state. Sets g_state.ending.
void CompleteUpdate(HWND dialog);
// Handler of IDCANCEL (Cancel/Quit): nothing starts after it. A running
// engine is ended through its handle, waiting for it with the window kept
// responsive; a run under way ends as cancelled. Ends the dialog when there
// is one; the caller removes the payload once the dialog is gone.
void CancelOrQuit(HWND dialog);
// Runs BeginUpdate and the ticks without a dialog until the run has
// completed (or, when it could not begin, at once).
void RunUnattended();

// Opens "patch.err" of the folder in the Windows text editor, not waiting
// for it; a failure to start the editor is not reported.
void ShowEngineLogInEditor(const char* installFolder);

// What the sequencer calls in the other folders, through one table so that
// a test can count the calls instead of migrating the machine it runs on.
// The updater's own table is in sequencer_calls.cpp. Each returns false
// when its part of the migration failed (it has told the user why, in boxes
// owned by `owner`).
struct SequencerCalls {
    bool (*copySharedFolder)(HWND owner, const char* sharedFolder, const char* installFolder);
    bool (*isAtDefaultPaths)(const char* installFolder, const char* sharedFolder);
    // Moves the installation to the new default folder and updates
    // g_state.finalInstallFolder.
    bool (*relocateInstallation)(HWND owner);
    bool (*renameProductItems)(const char* sharedFolder, const char* finalInstallFolder);
    bool (*migrateShortcuts)(HWND owner, const char* finalInstallFolder);
    bool (*migrateRegistry)(HWND owner, const char* finalInstallFolder);
    void (*showEngineLog)(const char* installFolder);
};
extern SequencerCalls g_sequencerCalls;

}  // namespace app
