// CompleteUpdate: the end of a run, on the tick after the bar was shown full.
#include <string>
#include "app/message.h"
#include "app/phases.h"
#include "app/progress.h"
#include "app/sequencer.h"
#include "app/startup_error.h"
#include "app/update_actions.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "common/state.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/strings.h"
#include "platform/window.h"

namespace app {
using namespace common;

namespace {

// Logs deleted after a successful run in diagnostic mode.
const char* const kDiagnosticLogs[] = {"patch.err", "patchv1-v2.err"};
// A box lists this many problems; the log has them all.
const size_t kProblemsShown = 12;

// IDOK stays disabled; "Change folder" can start another run, unless an
// update is still under way (its record stays until it has completed).
void ShowFinalState(HWND dialog) {
    platform::EnableControl(dialog, IDCANCEL, true);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, g_state.recordPath.empty());
    platform::FocusControl(dialog, IDCANCEL);
    platform::SetControlText(dialog, IDCANCEL, platform::LoadText(IDS_QUIT).c_str());
    SetProgressPosition(dialog, 0);
    platform::InvalidateAll(dialog);
}

std::string Describe(const migrate::Problem& p) {
    std::string line = p.target.empty()
                           ? "\"" + p.item + "\"."
                           : platform::FormatText(platform::LoadText(IDS_MOVE_ERROR), p.item.c_str(), p.target.c_str());
    std::string why = !p.why.empty() ? p.why : p.error ? platform::ErrorDescription(p.error) : std::string();
    return why.empty() ? line : line + " " + why;
}

// The parts that did not complete, and what stood in their way.
void ShowProblems(HWND dialog) {
    std::string text = "These parts of the update did not complete:";
    for (const std::string& part : FailedParts()) text += " " + part + ";";
    text += "\r\n\r\n";
    const auto& problems = PartProblems();
    for (size_t i = 0; i < problems.size() && i < kProblemsShown; ++i) text += Describe(problems[i]) + "\r\n";
    if (problems.size() > kProblemsShown)
        text += "... and " + std::to_string(problems.size() - kProblemsShown) + " more (see the log).\r\n";
    text += "\r\nRun the updater again to finish the update.";
    platform::ShowMessage(dialog, text.c_str(), "Update Error", MB_OK | MB_ICONERROR);
}

// Where the installation is now: the new folder once the move is done.
std::string CurrentInstallFolder() {
    const UpdateRecord& r = g_state.record;
    return r.relocate && r.Done(Phase::kMove) ? r.finalInstallFolder : g_state.installFolder;
}

}  // namespace

void CompleteUpdate(HWND dialog) {
    // First, before anything that can show a message box: ticks during those
    // boxes' message loops must find nothing to do.
    g_state.running = false;
    if (g_state.quitting) return;
    if (g_state.ending == Ending::kPatchFailed) {
        SetDialogMessage(IDS_NOT_UPDATED, g_state.installFolder.c_str());
        if (!g_state.failure.empty())
            platform::ShowMessage(dialog, g_state.failure.c_str(), "Update Error", MB_OK | MB_ICONERROR);
        else if (!g_state.quiet)
            Actions().ShowEngineLog(g_state.installFolder);
    } else if (g_state.record.Next() == Phase::kCount) {
        g_state.ending = Ending::kUpdated;
        if (!Actions().MarkCompleted(g_state.finalInstallFolder))
            LogEvent("note: the mark of a completed update could not be written (error " +
                     std::to_string(::GetLastError()) + "): an administrator's run writes it");
        if (!RemoveRecord(g_state.recordPath))
            LogEvent("note: the update record could not be removed: " + g_state.recordPath);
        g_state.recordPath.clear();
        g_state.resumed = false;
        SetDialogMessage(IDS_UPDATED, g_state.finalInstallFolder.c_str());
        if (g_state.diagnostic)
            for (const char* name : kDiagnosticLogs)
                platform::DeleteFileAt(JoinPath(g_state.finalInstallFolder, name).c_str());
    } else {
        g_state.ending = Ending::kMigrationFailed;
        std::string parts;
        for (const std::string& part : FailedParts()) parts += (parts.empty() ? "" : ", ") + part;
        g_state.message =
            platform::FormatText(platform::LoadText(IDS_NOT_COMPLETED), CurrentInstallFolder().c_str(), parts.c_str());
        AppendDiagnosticSuffix();
        ShowProblems(dialog);
    }
    LogEvent("outcome: " + g_state.message);
    FlushEventLog();
    ShowFinalState(dialog);
}

}  // namespace app
