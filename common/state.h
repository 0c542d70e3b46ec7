// The process-wide record, the patch-step table and the ways a run ends.
// Only app/ reads and writes the record; the folders below take what they
// need as parameters.
#pragma once
#include <windows.h>
#include <string>
#include <utility>
#include <vector>
#include "common/update_record.h"
#include "platform/handles.h"

namespace common {

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
    kFilesInUse = 8,       // nothing changed: files of the installation are in use; try again once closed
    kAlreadyRunning = 9,   // nothing changed: another update is running on this machine; try again later
    kCannotUpdate = 10,    // nothing changed: the update cannot be made here as things are (a changed
                           // file, not enough room, no rights, the new folder taken); the log says what
    kDamagedRecord = 11,   // nothing changed: the record of an interrupted update cannot be read
    kInternalError = 12,   // the updater stopped on an internal error; a second run finishes the update
};

// Paths are UTF-8 of any length Windows allows; a folder never ends in a
// backslash, except a drive root ("E:\").
struct UpdaterState {
    std::string tempFolder;
    std::string message;
    std::string installFolder;
    std::string finalInstallFolder;
    std::string sharedFolder;
    std::string engineProgramPath;
    std::string engineLibraryPath;
    std::string startMenuProgramsFolder;
    std::string desktopFolder;
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
    bool msiCodes;      // the exit code is Windows Installer's (/msicodes)
    bool payloadReady;  // the engine and every patch file are extracted
    bool running;
    bool barShownFull;          // the run has ended and the full bar has been shown
    bool quitting;              // Cancel/Quit was pressed: nothing more may start
    bool migratingShown;        // the dialog says the migration is under way
    Ending ending;
    // Why the run failed, when "patch.err" could not be written to say it.
    std::string failure;
    // The update record of the update under way (empty path: none written
    // yet) and whether start-up found it: this run then finishes that update.
    std::string recordPath;
    std::string recordProblem;  // why a record found is not used (start-up: kDamagedRecord)
    UpdateRecord record;
    bool resumed;
    // A record found at start-up that was not followed, since what it names
    // is not there (or is there twice), and what was found instead; the
    // search went on as with no record. Empty when none.
    std::string staleRecordPath;
    std::string staleRecordWhy;
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
