// CompleteUpdate: the end of a run, on the tick after the bar was shown full.
#include <string>
#include "app/message.h"
#include "app/progress.h"
#include "app/sequencer.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/tree.h"
#include "payload/engine.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/window.h"

namespace app {
using namespace common;
using namespace migrate;
using namespace payload;

// Files of the old installation that the new one has no use for.
static const char* const kLeftovers[] = {"UnInst.isu", "UnInsdll.dll", "KSReg.dat"};
// Logs deleted after a successful run in diagnostic mode.
static const char* const kDiagnosticLogs[] = {"patch.err", "patchv1-v2.err"};

static void DeleteIn(const char* folder, const char* const* names, size_t count) {
    char path[kPathCap];
    for (size_t i = 0; i < count; ++i)
        if (JoinPath(path, sizeof path, folder, names[i])) platform::DeleteFileAt(path);
}

void ShowEngineLogInEditor(const char* installFolder) {
    char windows[kPathCap], editor[kPathCap];
    if (!platform::WindowsFolder(windows, sizeof windows) || !JoinPath(editor, sizeof editor, windows, "notepad.exe"))
        return;
    std::string line = "\"" + std::string(editor) + "\" " + kEngineLogName;
    platform::Handle editorProcess;  // not waited for: closed at once
    platform::StartProcess(editor, line.c_str(), installFolder, true, editorProcess);
}

// One part of the migration; false (logged) when it failed.
static bool Part(const char* what, bool ok) {
    LogEvent(std::string(what) + (ok ? ": done" : ": failed"));
    return ok;
}

// Relocation, renames, shortcuts, registry, leftovers: each part runs unless
// the user has quit meanwhile (in one of their boxes' message loops).
static bool Migrate(HWND dialog) {
    const SequencerCalls& c = g_sequencerCalls;
    bool ok = Part("shared files copied", !g_state.sharedCopyIncomplete);
    if (c.isAtDefaultPaths(g_state.installFolder, g_state.sharedFolder))
        ok &= Part("relocation", c.relocateInstallation(dialog));
    if (g_state.quitting) return false;
    LogEvent(std::string("final install folder: ") + g_state.finalInstallFolder);
    ok &= Part("renames", c.renameProductItems(g_state.sharedFolder, g_state.finalInstallFolder));
    StepProgress(dialog);
    if (g_state.quitting) return false;
    ok &= Part("shortcuts", c.migrateShortcuts(dialog, g_state.finalInstallFolder));
    if (g_state.quitting) return false;
    ok &= Part("registry", c.migrateRegistry(dialog, g_state.finalInstallFolder));
    DeleteIn(g_state.finalInstallFolder, kLeftovers, 3);
    return ok;
}

// IDOK stays disabled; "Change folder" can start another run.
static void ShowFinalState(HWND dialog) {
    platform::EnableControl(dialog, IDCANCEL, true);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, true);
    platform::FocusControl(dialog, IDCANCEL);
    platform::SetControlText(dialog, IDCANCEL, platform::LoadText(IDS_QUIT).c_str());
    SetProgressPosition(dialog, 0);
    platform::InvalidateAll(dialog);
}

void CompleteUpdate(HWND dialog) {
    // First, before anything that can show a message box: ticks during those
    // boxes' message loops must find nothing to do.
    g_state.running = false;
    if (g_state.quitting) return;
    platform::SetCurrentFolder(g_state.installFolder);
    // Success is only what every step confirmed.
    bool failed = g_state.ending == Ending::kPatchFailed || g_state.stepIndex != kPatchStepCount;
    if (failed) {
        g_state.ending = Ending::kPatchFailed;
        SetDialogMessage(IDS_NOT_UPDATED, g_state.installFolder);
        if (!g_state.failure.empty())
            ShowUpdateError(dialog, g_state.failure.c_str());
        else if (!g_state.quiet)
            g_sequencerCalls.showEngineLog(g_state.installFolder);
    } else {
        bool migrated = Migrate(dialog);
        if (g_state.quitting) return;
        g_state.ending = migrated ? Ending::kUpdated : Ending::kMigrationFailed;
        SetDialogMessage(IDS_UPDATED, g_state.finalInstallFolder);
        if (g_state.diagnostic) DeleteIn(g_state.finalInstallFolder, kDiagnosticLogs, 2);
    }
    LogEvent("outcome: " + g_state.message);
    ShowFinalState(dialog);
}

}  // namespace app
