#include "app/updater_app.h"
#include <string>
#include "app/options.h"
#include "app/startup.h"
#include "app/startup_error.h"
#include "app/unattended.h"
#include "app/updater_dlg.h"
#include "common/event_log.h"
#include "common/state.h"
#include "platform/command_line.h"
#include "platform/dialog.h"
#include "platform/msgbox.h"
#include "platform/opendialog.h"

namespace app {
using namespace common;

// /quiet asks nobody: a question for a folder counts as cancelled.
static bool AskNobody(HWND, const char* title, const char*, const char*, char*, DWORD) {
    LogEvent(std::string("not asked (quiet): ") + title);
    return false;
}

static Ending RunDialog(const Options& options) {
    // The controls' look comes from the manifest (common controls 6); the
    // progress-bar class still has to be registered.
    platform::InitDialogControls();
    CUpdaterDlg dialog(options.folder);
    if (dialog.RunModal(nullptr) == -1) return Ending::kInitFailed;
    return g_state.ending;
}

static Ending RunMode(const Options& o) {
    if (!o.badSwitch.empty()) {
        std::string text = "Unknown switch: " + o.badSwitch;
        LogEvent(text);
        if (!o.quiet) ShowStartupMessage(nullptr, text.c_str());
        return Ending::kBadSwitch;
    }
    if (o.quiet) {
        platform::SetMessageHook(AnswerQuietly);
        platform::SetOpenFileHook(AskNobody);
    }
    if (o.check) return RunCheck(o);
    return o.quiet ? RunQuiet(o) : RunDialog(o);
}

int CUpdaterApp::Run() {
    const char* line = platform::ProcessCommandLine();
    Options o = ParseOptions(line);
    g_state.diagnostic = o.diagnostic;
    g_state.quiet = o.quiet;
    if (!o.logPath.empty() && !OpenEventLog(o.logPath.c_str()) && o.badSwitch.empty())
        o.badSwitch = "/log " + o.logPath + " (the log cannot be written)";
    LogEvent(std::string("updater started: ") + line);
    Ending ending = RunMode(o);
    // Every ending leaves nothing of the payload behind.
    RemoveExtractedFiles();
    LogEvent("exit code " + std::to_string(static_cast<int>(ending)));
    CloseEventLog();
    return static_cast<int>(ending);
}

}  // namespace app
