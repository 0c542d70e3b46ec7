#include "app/updater_app.h"
#include <cstdio>
#include <string>
#include "app/options.h"
#include "app/startup.h"
#include "app/startup_error.h"
#include "app/unattended.h"
#include "app/updater_dlg.h"
#include "common/event_log.h"
#include "common/state.h"
#include "common/update_lock.h"
#include "platform/command_line.h"
#include "platform/crash.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/dialog.h"
#include "platform/msgbox.h"
#include "platform/opendialog.h"

namespace app {
using namespace common;

// /quiet asks nobody: a question for a folder counts as cancelled.
static bool AskNobody(HWND, const char* title, const char*, const char*, std::string&) {
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

// The log's last line: the exit code, and with /msicodes the ending's own.
static std::string ExitCodeText(Ending ending) {
    int own = static_cast<int>(ending);
    if (!g_state.msiCodes) return "exit code " + std::to_string(own);
    return "exit code " + std::to_string(ExitCode(ending, true)) + " (Windows Installer's, /msicodes; the updater's " +
           std::to_string(own) + ")";
}

// The last word of an updater that failed: the log says so, and the exit
// code is its own. The update record stays: a second run finishes the update.
static void ReportCrash(DWORD code) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(code));
    LogEvent(std::string("the updater stopped on an internal error (exception 0x") + hex +
             "); running it again finishes the update");
    LogEvent(ExitCodeText(Ending::kInternalError));
    FlushEventLog();
}

// One update at a time on the machine, in any session: a second updater
// (a double click, a deployment script run twice) changes nothing.
static const char kUpdateToken[] = "Dovetra 5.0.3 Update";

int CUpdaterApp::Run() {
    platform::ReserveCrashStack();
    platform::EndOnCrash(ReportCrash, static_cast<UINT>(Ending::kInternalError));
    const char* line = platform::ProcessCommandLine();
    Options o = ParseOptions(line, RunningExecutable().c_str());
    g_state.diagnostic = o.diagnostic;
    g_state.quiet = o.quiet;
    g_state.msiCodes = o.msiCodes;
    platform::EndOnCrash(ReportCrash, static_cast<UINT>(ExitCode(Ending::kInternalError, o.msiCodes)));
    // Nobody is there to answer a box of the system's own.
    if (o.quiet) platform::ShowNoSystemBoxes();
    // A fleet tool may pass "%WINDIR%\..." on without a command processor.
    std::string expanded;
    if (platform::ExpandVariables(o.logPath.c_str(), expanded)) o.logPath = expanded;
    if (!o.logPath.empty() && !OpenEventLog(o.logPath.c_str()) && o.badSwitch.empty())
        o.badSwitch = "/log " + o.logPath + " (the log cannot be written)";
    LogEvent(std::string("updater started: ") + line);
    platform::Handle token;
    std::vector<std::string> notes;
    LockState lock = o.badSwitch.empty() ? TakeUpdateLock(kUpdateToken, token, &notes) : LockState::kTaken;
    for (const std::string& note : notes) LogEvent(note);
    Ending ending;
    if (lock != LockState::kTaken) {
        std::string text = lock == LockState::kHeld
                               ? "Another update of Kestrin to Dovetra 5.0.3 is running on this computer. Nothing has "
                                 "been changed; wait until it has ended."
                               : "The lock that keeps two updates apart cannot be taken (" +
                                     platform::ErrorDescription(platform::LastError()) +
                                     " or every name is held by other programs). Nothing has been changed.";
        LogEvent(text);
        if (!o.quiet) ShowStartupMessage(nullptr, text.c_str());
        ending = Ending::kAlreadyRunning;
    } else {
        ending = RunMode(o);
    }
    // Every ending leaves nothing of the payload behind.
    RemoveExtractedFiles();
    LogEvent(ExitCodeText(ending));
    CloseEventLog();
    return ExitCode(ending, o.msiCodes);
}

}  // namespace app
