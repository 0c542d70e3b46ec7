// The process-wide record, the patch-step table and the ways a run ends.
// Only app/ reads and writes the record; the folders below take what they
// need as parameters.
#pragma once
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "platform/handles.h"

namespace common {

// Every path field holds at most kPathCap - 1 bytes of UTF-8 and its NUL; a
// folder never ends in a backslash, except a drive root ("E:\"). Operations
// that would not fit refuse instead of cutting a path short.
constexpr size_t kPathCap = 256;

// How the updater ends: its process exit code.
enum class Ending : int {
    kUpdated = 0,          // the installation is Dovetra 5.0.3 (with /check: an update would proceed)
    kBadBuild = 1,         // the engine or a patch file is missing from the updater
    kNotFound = 2,         // no installation or shared folder was found or chosen
    kInitFailed = 3,       // no payload folder, timer, COM, Start menu or Desktop
    kPatchFailed = 4,      // a patch step failed: the installation is as the engine left it
    kMigrationFailed = 5,  // patched, but a move, rename, shortcut or registry change failed
    kCancelled = 6,        // the user quit or cancelled before the update completed
    kBadSwitch = 7,        // the command line holds a switch the updater does not know
};

struct UpdaterState {
    char tempFolder[kPathCap];
    std::string message;
    char installFolder[kPathCap];
    char finalInstallFolder[kPathCap];
    char sharedFolder[kPathCap];
    char engineProgramPath[kPathCap];
    char engineLibraryPath[kPathCap];
    char startMenuProgramsFolder[kPathCap];
    char desktopFolder[kPathCap];
    // What start-up extracted: files first, the payload folder last.
    std::vector<std::string> extracted;
    // The old folders' 8.3 forms (long, short), taken before relocation.
    std::vector<std::pair<std::string, std::string>> shortForms;
    // The engine running the current step; kept open so that it is polled,
    // judged and ended by its handle, never by an id that may be reused.
    platform::Handle child;
    HWND progressControl;
    bool diagnostic;
    bool quiet;         // no window and no box: boxes take their default answer
    bool payloadReady;  // the engine and every patch file are extracted
    bool running;
    bool barShownFull;          // the run has ended and the full bar has been shown
    bool quitting;              // Cancel/Quit was pressed: nothing more may start
    bool sharedCopyIncomplete;  // this run's copy of the shared folder failed somewhere
    int stepIndex;
    Ending ending;
    // Why the run failed, when "patch.err" could not be written to say it.
    std::string failure;
};

// The one instance, zero apart from `message` and `ending` at start.
extern UpdaterState g_state;

// Resets g_state to its start values (tests run many start-ups in one process).
void ResetUpdaterState();

struct PatchStep {
    char fileName[64];
    char payloadTag[8];
};

// Rows in the order the steps run. Every step runs in g_state.installFolder.
constexpr int kPatchStepCount = 3;
extern const PatchStep g_patchSteps[kPatchStepCount];

}  // namespace common
