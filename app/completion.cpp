// CompleteUpdate: the end of a run, on the tick after the bar was shown full.
#include "app/progress.h"
#include "app/resource.h"
#include "app/sequencer.h"
#include "app/state.h"
#include "app/step_log.h"
#include "locate/path.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/strings.h"
#include "platform/window.h"

// Files of the old installation that the new one has no use for.
static const char* const kLeftovers[] = {"UnInst.isu", "UnInsdll.dll", "KSReg.dat"};
// Logs deleted after a successful run in diagnostic mode.
static const char* const kDiagnosticLogs[] = {"patch.err", "patchv1-v2.err"};

static void SetMessage(UINT id, const char* folder) {
    g_state.message = platform::FormatText(platform::LoadText(id), folder);
    if (g_state.diagnostic) g_sequencerCalls.appendDiagnosticSuffix();
}

static void DeleteIn(const char* folder, const char* const* names, size_t count) {
    char path[kPathCap];
    for (size_t i = 0; i < count; ++i)
        if (JoinPath(path, sizeof path, folder, names[i])) platform::DeleteFileAt(path);
}

void ShowEngineLogInEditor(const char* installFolder) {
    char windows[kPathCap], editor[kPathCap];
    if (!platform::WindowsFolder(windows, sizeof windows) ||
        !JoinPath(editor, sizeof editor, windows, "notepad.exe"))
        return;
    std::string line = "\"" + std::string(editor) + "\" patch.err";
    DWORD pid = 0;
    platform::StartProcess(editor, line.c_str(), installFolder, true, &pid);
}

static void Migrate(HWND dialog) {
    if (g_sequencerCalls.isAtDefaultPaths()) g_sequencerCalls.relocateInstallation();
    g_sequencerCalls.renameProductItems();
    StepProgress(dialog);
    g_sequencerCalls.migrateShortcuts(dialog, g_state.finalInstallFolder);
    g_sequencerCalls.migrateRegistry(dialog, g_state.finalInstallFolder);
    DeleteIn(g_state.finalInstallFolder, kLeftovers, 3);
}

// Button 1 stays disabled; "Change folder" can start another run.
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
    platform::SetCurrentFolder(g_state.installFolder);
    bool failed = RunHasFailed() || EngineLogMarksFailure(g_state.installFolder);
    if (failed) {
        SetMessage(IDS_NOT_UPDATED, g_state.installFolder);
        g_sequencerCalls.showEngineLog(g_state.installFolder);
    } else {
        Migrate(dialog);
        SetMessage(IDS_UPDATED, g_state.finalInstallFolder);
        if (g_state.diagnostic) DeleteIn(g_state.finalInstallFolder, kDiagnosticLogs, 2);
    }
    ShowFinalState(dialog);
}
