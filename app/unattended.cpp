#include "app/unattended.h"
#include <string>
#include "app/phases.h"
#include "app/sequencer.h"
#include "app/special_folders.h"
#include "app/startup.h"
#include "app/startup_error.h"
#include "app/update_actions.h"
#include "common/event_log.h"
#include "common/state.h"
#include "platform/msgbox.h"

namespace app {
using namespace common;

static int DefaultButton(UINT flags) {
    int second = (flags & MB_DEFMASK) == MB_DEFBUTTON2;
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL: return second ? IDCANCEL : IDOK;
    case MB_YESNO: return second ? IDNO : IDYES;
    case MB_YESNOCANCEL: return second ? IDNO : ((flags & MB_DEFMASK) == MB_DEFBUTTON3 ? IDCANCEL : IDYES);
    case MB_RETRYCANCEL: return second ? IDCANCEL : IDRETRY;
    case MB_ABORTRETRYIGNORE: return second ? IDRETRY : ((flags & MB_DEFMASK) == MB_DEFBUTTON3 ? IDIGNORE : IDABORT);
    default: return IDOK;
    }
}

int AnswerQuietly(HWND, const char* text, const char* title, UINT flags) {
    int answer = DefaultButton(flags);
    LogEvent(std::string("box \"") + title + "\": " + text + " [answered " + std::to_string(answer) + "]");
    return answer;
}

Ending RunQuiet(const Options& options) {
    StartupResult r = PrepareStartup(RunningExecutable().c_str(), options.folder.c_str());
    LogEvent(std::string("start-up: ") + (r == StartupResult::kReady ? "ready" : "failed"));
    if (r != StartupResult::kReady) return EndingOf(r);
    if (!InitializeServices(nullptr)) return g_state.ending;
    RunUnattended();
    return g_state.ending;
}

// What an update would do, in a sentence.
static std::string WouldDo(const Preflight& p, const PreflightInput& in) {
    std::string text =
        std::string(g_state.resumed ? "The interrupted update of the installation in " : "The installation in ") +
        in.installFolder + " can be updated to Dovetra 5.0.3";
    if (p.stepsDone > 0) text += " (patch steps already applied: " + std::to_string(p.stepsDone) + " of 3)";
    if (in.relocate) text += "; it would then be moved to " + in.finalInstallFolder;
    return text + ".";
}

Ending RunCheck(const Options& options) {
    StartupResult r = PrepareStartup(RunningExecutable().c_str(), options.folder.c_str());
    Ending ending = EndingOf(r);
    std::string report;
    if (r == StartupResult::kDamagedRecord) {
        report = DamagedRecordText();
    } else if (r == StartupResult::kProfilesDisagree) {
        report = g_state.failure;
    } else if (r != StartupResult::kReady) {
        report = "No update is possible: the installation or its payload was not found.";
    } else {
        // The folders the shortcuts go to, for the rights check; none is no
        // reason to stop a check.
        GetStartMenuProgramsFolder(nullptr);
        GetDesktopFolder(nullptr);
        PreflightInput in = PreflightInputFromState();
        Preflight p = Actions().Check(in);
        ending = p.Verdict();
        report =
            ending == Ending::kUpdated ? WouldDo(p, in) : std::string(RefusalHeading(ending)) + "\r\n" + p.Report();
    }
    LogEvent("check: " + report);
    if (!g_state.quiet)
        platform::ShowMessage(nullptr, report.c_str(), ApplicationName().c_str(),
                              MB_OK | (ending == Ending::kUpdated ? MB_ICONINFORMATION : MB_ICONWARNING));
    RemoveExtractedFiles();
    return ending;
}

}  // namespace app
