// The update sequencer: "Begin Update", the one-second timer that runs the
// patch steps one after another, the completion, and Cancel/Quit. Every
// handler runs on the dialog's thread.
#pragma once
#include <windows.h>

// Handler of button 1: copies the shared folder into the install folder and
// starts the engine on the first patch step.
void BeginUpdate(HWND dialog);
// Handler of the dialog's timer: polls the engine, moves on to the next step
// when it has ended, advances the bar, and completes the run at the end.
void TimerTick(HWND dialog);
// The last stage of a run: failure report, or migration and success report;
// then the dialog's final state.
void CompleteUpdate(HWND dialog);
// Handler of Cancel/Quit: ends a running engine, deletes the extracted
// files, uninitialises COM and ends the dialog with IDCANCEL.
void CancelOrQuit(HWND dialog);

// How many non-overlapping occurrences of `text` the file holds; 0 for an
// empty text. The file is opened for reading only. Bytes after a NUL are
// searched too: a stray NUL in a log must not hide what follows it. When the
// file cannot be read, one line "<path>: <reason>" goes to stderr and the
// result is 0.
int CountTextInFile(const char* path, const char* text, bool caseSensitive);

// Opens "patch.err" of the folder in the Windows text editor, not waiting
// for it; a failure to start the editor is not reported.
void ShowEngineLogInEditor(const char* installFolder);

// What the sequencer calls in the other folders, through one table so that
// a test can count the calls instead of migrating the machine it runs on.
// The updater's own table is in sequencer_calls.cpp.
struct SequencerCalls {
    void (*copySharedFolder)(HWND dialog, const char* sharedFolder, const char* installFolder);
    bool (*isAtDefaultPaths)();
    void (*relocateInstallation)(HWND dialog);
    void (*renameProductItems)();
    void (*migrateShortcuts)(HWND dialog, const char* finalInstallFolder);
    void (*migrateRegistry)(HWND dialog, const char* finalInstallFolder);
    void (*removeExtractedFiles)();
    void (*appendDiagnosticSuffix)();
    void (*uninitializeCom)();
    void (*showEngineLog)(const char* installFolder);
};
extern SequencerCalls g_sequencerCalls;

// The log the engine writes into its working folder, and the text in it
// that marks a step that did not complete.
extern const char kEngineLogName[];
extern const char kEngineFailureMark[];
