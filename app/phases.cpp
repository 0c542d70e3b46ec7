// The run as the dialog's thread sees it: the preflight and the phases'
// loop each on the worker thread, judged here when they have ended.
#include "app/phases.h"
#include <atomic>
#include <memory>
#include <string>
#include "app/message.h"
#include "app/run_phases.h"
#include "app/startup_error.h"
#include "app/update_actions.h"
#include "app/work_meter.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "platform/error.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace app {
using namespace common;

namespace {

// What the worker hands back; read once its handle is signalled.
struct WorkerResult {
    Preflight preflight;
    RunReport report;
};

// The run of this process: reset by ResetPhases.
struct RunState {
    bool checking = false;  // the worker runs the preflight (else the phases)
    std::shared_ptr<WorkerResult> result;
    Preflight measured;  // the preflight that passed: what the machine shows, the work
    RunReport report;
    WorkMeter meter;
    std::atomic<bool> stop{false};                              // set by Cancel, read by the worker
    std::atomic<int> current{static_cast<int>(Phase::kCount)};  // the phase under way
};

RunState g_run;

UpdateRecord& Record() { return g_state.record; }

bool StopAsked() { return g_run.stop.load(); }

}  // namespace

PreflightInput PreflightInputFromState() {
    PreflightInput in;
    in.installFolder = g_state.installFolder;
    in.sharedFolder = g_state.sharedFolder;
    if (g_state.resumed) {
        in.relocate = Record().relocate;
        in.finalInstallFolder = Record().finalInstallFolder;
        in.record = &Record();
    } else {
        in.relocate = Actions().IsAtDefaultPaths(in.installFolder, in.sharedFolder);
        in.finalInstallFolder = in.relocate ? migrate::NewInstallFolder() : in.installFolder;
    }
    in.preferenceCopies =
        g_state.resumed ? Record().preferenceCopies : migrate::PreferenceFilesPresent(in.sharedFolder);
    in.recordPath = g_state.recordPath;
    in.payloadFolder = g_state.tempFolder;
    in.programsFolder = g_state.startMenuProgramsFolder;
    in.desktopFolder = g_state.desktopFolder;
    return in;
}

const char* RefusalHeading(Ending e) {
    switch (e) {
    case Ending::kFilesInUse:
        return "The update cannot begin: files of the installation are in use. Close the programs that use them, "
               "then press Retry.";
    case Ending::kBadBuild: return "The update cannot begin: this updater is damaged.";
    default: return "The update cannot begin:";
    }
}

void ResetPhases() {
    g_run.checking = false;
    g_run.result.reset();
    g_run.measured = Preflight{};
    g_run.report = RunReport{};
    g_run.meter.Reset();
    g_run.stop = false;
    g_run.current = static_cast<int>(Phase::kCount);
}

void StartPreflight(HWND dialog) {
    LogEvent("preflight: begun");
    SetDialogMessage(IDS_CHECKING, g_state.installFolder.c_str());
    platform::InvalidateAll(dialog);
    g_run.stop = false;
    g_run.meter.Reset();
    auto result = std::make_shared<WorkerResult>();
    g_run.result = result;
    g_run.checking = true;
    // A copy: the preflight reads it on the worker while nothing here
    // changes the record, which it points at, until it has ended.
    PreflightInput in = PreflightInputFromState();
    // The bar's measure costs a count of the registry's keys near the
    // roots: without a bar (/quiet) it is not taken.
    in.meter = g_state.quiet ? nullptr : &g_run.meter;
    in.stop = StopAsked;
    if (!platform::StartThread([result, in] { result->preflight = Actions().Check(in); }, g_state.child)) {
        g_run.checking = false;
        g_state.ending = Ending::kInitFailed;
        g_state.running = false;
        LogEvent("preflight: no worker thread could be started: " + platform::ErrorDescription(platform::LastError()));
        ShowReadyAgain(dialog);
    }
}

// Writes the update record before the first change: a new one for a new
// update, the found one for an update being finished, with the phases the
// machine shows done. False (told, g_state.ending set) when it cannot be
// written: nothing may change then.
static bool OpenRecord(HWND dialog) {
    UpdateRecord& r = Record();
    if (!g_state.resumed) {
        r = UpdateRecord{};
        r.installFolder = g_state.installFolder;
        r.sharedFolder = g_state.sharedFolder;
        r.relocate = Actions().IsAtDefaultPaths(r.installFolder, r.sharedFolder);
        r.finalInstallFolder = r.relocate ? migrate::NewInstallFolder() : r.installFolder;
        r.shortForms = migrate::TakeShortForms(r.installFolder.c_str(), r.sharedFolder.c_str());
        r.preferenceCopies = migrate::PreferenceFilesPresent(r.sharedFolder);
    }
    // What is done is what the machine shows: the record's notes decide
    // nothing. A phase noted done whose result is not there is done again.
    for (int i = 0; i < static_cast<int>(Phase::kCount); ++i) {
        Phase p = static_cast<Phase>(i);
        if (r.Done(p) && !((g_run.measured.shown >> i) & 1u))
            LogEvent(std::string("the record notes ") + PhaseName(p) +
                     " done, but the machine does not show it: it is done again");
    }
    r.done = g_run.measured.shown;
    g_state.finalInstallFolder = r.finalInstallFolder;
    if (g_state.recordPath.empty()) g_state.recordPath = g_state.staleRecordPath;  // replaced where it lies
    if (SaveRecord(r, &g_state.recordPath)) {
        LogEvent("update record: " + g_state.recordPath);
        if (!g_state.staleRecordPath.empty())
            LogEvent("the record not followed, " + g_state.staleRecordPath + ", is replaced by this update's");
        g_state.resumed = true;  // from here on this is an update under way
        return true;
    }
    DWORD error = platform::LastError();
    g_state.ending = Ending::kCannotUpdate;
    std::string text =
        "The update cannot begin: its record, which lets a second run finish an update that was "
        "interrupted, cannot be written (" +
        platform::ErrorDescription(error) + ").\r\n\r\nNothing has been changed.";
    LogEvent("preflight: " + text);
    platform::ShowMessage(dialog, text.c_str(), ApplicationName().c_str(), MB_OK | MB_ICONERROR);
    return false;
}

// Nothing stands in the way: the record, then the phases' loop.
static void BeginPhases(HWND dialog) {
    if (!OpenRecord(dialog)) {
        g_state.running = false;
        ShowReadyAgain(dialog);
        return;
    }
    SetDialogMessage(IDS_UPDATING, g_state.installFolder.c_str());
    platform::InvalidateAll(dialog);
    LogEvent("update begun in " + g_state.installFolder);
    PhaseJob job;
    job.record = Record();
    job.programsFolder = g_state.startMenuProgramsFolder;
    job.desktopFolder = g_state.desktopFolder;
    job.payloadFolder = g_state.tempFolder;
    job.engineProgram = g_state.engineProgramPath;
    job.showEngine = g_state.diagnostic && !g_state.quiet;
    for (int i = 0; i < static_cast<int>(Phase::kCount); ++i)
        job.items[i] = PhaseOf(static_cast<Phase>(i)).items(g_run.measured);
    auto result = std::make_shared<WorkerResult>();
    g_run.result = result;
    g_run.checking = false;
    std::string recordPath = g_state.recordPath;
    if (!platform::StartThread(
            [result, job, recordPath] {
                result->report = RunPhases(job, recordPath, g_run.meter, StopAsked, g_run.current);
            },
            g_state.child)) {
        DWORD error = platform::LastError();
        g_run.report.failedParts.push_back("the update");
        g_run.report.problems.push_back(migrate::Problem{"", "", "No worker thread could be started.", error});
    }
}

// The preflight's verdict: the phases begin, or the run is over with a box
// (and, for files in use, the preflight again on Retry).
static void JudgePreflight(HWND dialog, const Preflight& p) {
    Ending verdict = p.Verdict();
    if (verdict == Ending::kUpdated) {
        g_run.measured = p;
        LogEvent("preflight: nothing stands in the way; patch steps the installation has had: " +
                 std::to_string(p.stepsDone) + (p.stepCutOff ? " (and one cut off, to be finished)" : "") +
                 "; registry keys to walk: " + std::to_string(p.registryKeys) + " (" +
                 std::to_string(p.registryNearKeys) + " near the roots)");
        return BeginPhases(dialog);
    }
    g_state.ending = verdict;
    std::string report = p.Report();
    LogEvent("preflight: the update cannot begin (exit code " + std::to_string(static_cast<int>(verdict)) +
             "); nothing has been changed:\r\n" + report);
    FlushEventLog();
    std::string text = std::string(RefusalHeading(verdict)) + "\r\n\r\n" + report + "\r\nNothing has been changed.";
    bool retry = false;
    if (verdict != Ending::kFilesInUse)
        platform::ShowMessage(dialog, text.c_str(), ApplicationName().c_str(), MB_OK | MB_ICONERROR);
    else
        retry = platform::ShowMessage(dialog, text.c_str(), ApplicationName().c_str(),
                                      MB_RETRYCANCEL | MB_DEFBUTTON2 | MB_ICONWARNING) == IDRETRY;
    if (retry && !g_state.quitting) return StartPreflight(dialog);
    g_state.running = false;
    ShowReadyAgain(dialog);
}

void ShowReadyAgain(HWND dialog) {
    bool underWay = !g_state.recordPath.empty();
    SetDialogMessage(underWay ? IDS_RESUME : IDS_READY, g_state.installFolder.c_str());
    platform::InvalidateAll(dialog);
    platform::EnableControl(dialog, IDOK, true);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, !underWay);
}

void WorkerEnded(HWND dialog) {
    g_state.child.Reset();
    std::shared_ptr<WorkerResult> result = std::move(g_run.result);
    if (g_run.checking) {
        g_run.checking = false;
        return JudgePreflight(dialog, result->preflight);
    }
    g_run.report = std::move(result->report);
    Record().done = g_run.report.done;
    if (g_run.report.step.failed) {
        g_state.ending = Ending::kPatchFailed;
        g_state.failure = g_run.report.step.untold;
    }
}

int WorkDone(int scale) { return g_run.meter.Done(scale); }

bool Migrating() {
    return g_run.current.load() >= static_cast<int>(Phase::kMove) &&
           g_run.current.load() < static_cast<int>(Phase::kCount);
}

void RequestStop() { g_run.stop = true; }

const std::vector<std::string>& FailedParts() { return g_run.report.failedParts; }

const std::vector<migrate::Problem>& PartProblems() { return g_run.report.problems; }

}  // namespace app
