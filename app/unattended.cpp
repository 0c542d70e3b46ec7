#include "app/unattended.h"
#include <string>
#include "app/sequencer.h"
#include "app/special_folders.h"
#include "app/startup.h"
#include "app/startup_error.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "migrate/tree.h"
#include "payload/engine.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/strings.h"

namespace app {
using namespace common;
using namespace migrate;
using namespace payload;

// The engine's check of a patch: nothing is written, not even a log.
static const char kCheckOptions[] = "-t -i -noc";

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

// Whether the engine says the first patch applies to `folder`.
static bool PatchApplies(const char* folder, std::string* why) {
    platform::Handle engine;
    DWORD code = 0;
    if (!LaunchPatchEngine(g_state.engineProgramPath, kCheckOptions, g_patchSteps[0].fileName, folder, false, engine)) {
        *why = "the patch engine could not be started: " + platform::ErrorDescription(platform::LastError());
        return false;
    }
    platform::WaitProcessEnd(engine.Get(), INFINITE);
    if (!platform::ProcessExitCode(engine.Get(), &code) || code != 0) {
        *why = "the patch engine's check of " + std::string(g_patchSteps[0].fileName) + " failed with exit code " +
               std::to_string(code);
        return false;
    }
    return true;
}

// The first patch is made for the install folder with the shared folder
// copied into it, as "Begin Update" does; the check runs on such a copy in
// the payload folder, so that the installation itself is never written.
static bool FirstPatchApplies(std::string* why) {
    char trial[kPathCap];
    if (!JoinPath(trial, sizeof trial, g_state.tempFolder, "trial") || !CreateFolderPath(trial)) {
        *why = "no room to try the patch in " + std::string(g_state.tempFolder);
        return false;
    }
    bool copied = g_sequencerCalls.copySharedFolder(nullptr, g_state.installFolder, trial) &&
                  g_sequencerCalls.copySharedFolder(nullptr, g_state.sharedFolder, trial);
    bool applies = copied && PatchApplies(trial, why);
    if (!copied) *why = "the installation could not be copied to try the patch";
    DeleteTree(nullptr, trial);
    return applies;
}

Ending RunCheck(const Options& options) {
    StartupResult r = PrepareStartup(RunningExecutable().c_str(), options.folder.c_str());
    Ending ending = EndingOf(r);
    std::string report;
    if (r != StartupResult::kReady) {
        report = "No update is possible: the installation or its payload was not found.";
    } else {
        std::string why;
        bool applies = FirstPatchApplies(&why);
        std::string target = g_state.installFolder;
        bool moves = g_sequencerCalls.isAtDefaultPaths(g_state.installFolder, g_state.sharedFolder);
        if (moves) target = platform::LoadText(IDS_NEW_INSTALL);
        bool targetFree = !moves || !platform::PathExists(target.c_str());
        if (!applies) {
            ending = Ending::kPatchFailed;
            report = std::string("The installation in ") + g_state.installFolder + " cannot be updated: " + why + ".";
        } else if (!targetFree) {
            ending = Ending::kMigrationFailed;
            report = "The installation would be moved to " + target + ", but that folder exists already.";
        } else {
            report = std::string("The installation in ") + g_state.installFolder + " can be updated to Dovetra 5.0.3" +
                     (moves ? "; it would then be moved to " + target : std::string()) + ".";
        }
    }
    LogEvent("check: " + report);
    if (!g_state.quiet)
        platform::ShowMessage(nullptr, report.c_str(), ApplicationName().c_str(),
                              MB_OK | (ending == Ending::kUpdated ? MB_ICONINFORMATION : MB_ICONWARNING));
    RemoveExtractedFiles();
    return ending;
}

}  // namespace app
