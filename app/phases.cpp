// The phases of a run: preflight and record first, then each phase not done,
// on the engine or on a worker thread, judged and noted as it ends.
#include "app/phases.h"
#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include "app/fault.h"
#include "app/message.h"
#include "app/startup_error.h"
#include "app/step_log.h"
#include "app/update_actions.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "payload/engine.h"
#include "platform/error.h"
#include "platform/msgbox.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace app {
using namespace common;
using namespace payload;

namespace {

// The engine's options for a patch step: a log in the working folder, user
// files in removed folders kept, a line per entry, nothing on a console.
const char kStepOptions[] = "-e -i -v -noc";

// What a worker thread hands back; read once its handle is signalled.
struct WorkerResult {
    migrate::Outcome outcome;
    Preflight preflight;
};

struct RunState {
    Phase phase = Phase::kCount;  // the phase in g_state.child
    bool worker = false;          // g_state.child is a worker thread
    bool checking = false;        // ... running the preflight
    std::shared_ptr<WorkerResult> result;
    uint32_t tried = 0;   // a bit per phase started in this run
    bool halted = false;  // a phase failed that the later ones depend on
    int stepsDone = 0;    // from the preflight
    bool stepCutOff = false;
    uint32_t shown = 0;                                     // the phases the machine shows done, from the preflight
    uint64_t weight[static_cast<int>(Phase::kCount)] = {};  // of each phase's work, from the preflight
    std::vector<std::string> failedParts;
    std::vector<migrate::Problem> problems;
};

RunState g_run;
// Read by the worker between items; set by Cancel.
std::atomic<bool> g_stop{false};

const char* PartName(Phase p) {
    switch (p) {
    case Phase::kSharedCopy: return "the copy of the shared folder";
    case Phase::kStep1: return "patch step 1";
    case Phase::kStep2: return "patch step 2";
    case Phase::kStep3: return "patch step 3";
    case Phase::kMove: return "the move to the new folder";
    case Phase::kRenames: return "the new names";
    case Phase::kShortcuts: return "the shortcuts";
    case Phase::kRegistry: return "the registry";
    case Phase::kLeftovers: return "the removal of leftover files";
    default: return "the update";
    }
}

// A failure of these leaves nothing the later phases could build on.
bool Halts(Phase p) { return p != Phase::kShortcuts && p != Phase::kRegistry && p != Phase::kLeftovers; }

UpdateRecord& Record() { return g_state.record; }

void NoteDone(Phase p) {
    Record().MarkDone(p);
    // A record that cannot be updated only makes the next run do this phase
    // again, which changes nothing: every phase can run twice.
    if (!SaveRecord(Record(), &g_state.recordPath))
        LogEvent("note: the update record could not be updated: " + platform::ErrorDescription(platform::LastError()));
    LogEvent(std::string(PartName(p)) + ": done");
    FlushEventLog();
    AtBoundary("done");
}

void NoteFailed(Phase p, const std::vector<migrate::Problem>& problems) {
    g_run.failedParts.push_back(PartName(p));
    g_run.problems.insert(g_run.problems.end(), problems.begin(), problems.end());
    LogEvent(std::string(PartName(p)) + ": failed");
    for (const migrate::Problem& q : problems)
        LogEvent("  " + q.item + (q.target.empty() ? "" : " -> " + q.target) + ": " +
                 (q.why.empty() ? platform::ErrorDescription(q.error) : q.why));
    if (Halts(p)) g_run.halted = true;
    FlushEventLog();
}

// A failed run: the installation is as the steps before left it. `why` goes
// into "patch.err" for the user; when even that cannot be written, it is
// kept to be shown in a box at the completion.
void FailRun(const std::string& why) {
    g_state.ending = Ending::kPatchFailed;
    g_run.halted = true;
    LogEvent("update failed: " + why);
    if (!WriteEngineLog(g_state.installFolder.c_str(), why + "\r\n")) g_state.failure = why;
}

std::string StepName() { return g_patchSteps[g_state.stepIndex].fileName; }

// Starts the engine on row g_state.stepIndex. A step that cannot start fails
// the run; no child is left then.
void LaunchStep() {
    const char* folder = g_state.installFolder.c_str();
    if (!ClearEngineLog(folder)) {
        FailRun("The log \"patch.err\" of an earlier run in " + g_state.installFolder + " cannot be removed (" +
                platform::ErrorDescription(platform::LastError()) + "). The patch file " + StepName() +
                " and the ones after it were not applied.");
        return;
    }
    BeforeEngine(g_state.stepIndex);
    if (!LaunchPatchEngine(g_state.engineProgramPath.c_str(), kStepOptions, StepName().c_str(), folder,
                           g_state.diagnostic && !g_state.quiet, g_state.child)) {
        DWORD error = platform::LastError();
        FailRun("The patch engine could not be started for the patch file " + StepName() +
                ".\r\nProgram: " + g_state.engineProgramPath + "\r\nReason: " + platform::ErrorDescription(error) +
                " (system error " + std::to_string(error) +
                ").\r\nThis step and the steps after it were not applied; the files in this "
                "folder are as the earlier steps left them.");
        return;
    }
    g_run.worker = false;
    LogEvent("step " + StepName() + " started in " + folder);
}

// The engine of row stepIndex has exited with `code`. A failed step stops
// the run: the engine applies a step whole or not at all, so the folder stays
// as the steps before it left it, and later steps are not run on top of it.
void EndStep(DWORD code) {
    g_state.child.Reset();
    StepVerdict verdict = JudgeStep(g_state.installFolder.c_str(), code);
    LogEvent("step " + StepName() + " ended: exit code " + std::to_string(code) + ", log: " + DescribeVerdict(verdict));
    KeepStepLog(g_state.installFolder.c_str(), g_patchSteps[g_state.stepIndex], verdict == StepVerdict::kSucceeded);
    if (verdict == StepVerdict::kSucceeded) return NoteDone(StepPhase(g_state.stepIndex));
    if (verdict == StepVerdict::kFailed) {
        g_state.ending = Ending::kPatchFailed;
        g_run.halted = true;
        LogEvent("update failed at " + StepName());
        FlushEventLog();
        return;
    }
    FailRun("The patch engine ended with exit code " + std::to_string(code) + " on the patch file " + StepName() +
            ", but its log " + DescribeVerdict(verdict) + ". The update is not taken as done.");
}

using Work = std::function<migrate::Outcome(const migrate::StopCheck&)>;

// Between two items of a part on the worker: a boundary of the update, and
// the moment to stop when Cancel asked for it.
bool Boundary(const char* key) {
    AtBoundary(key);
    return g_stop.load();
}

void StartWorker(Phase p, Work work) {
    const char* key = PhaseKey(p);
    g_stop = false;
    auto result = std::make_shared<WorkerResult>();
    g_run.result = result;
    g_run.worker = true;
    LogEvent(std::string(PartName(p)) + ": begun");
    bool started = platform::StartThread(
        [result, work, key] { result->outcome = work([key] { return Boundary(key); }); }, g_state.child);
    if (!started)
        NoteFailed(p, {migrate::Problem{"", "", "No worker thread could be started.", platform::LastError()}});
}

// The message once the patch steps are behind: the migration is under way.
void ShowMigrating(HWND dialog) {
    SetDialogMessage(IDS_MIGRATING, g_state.finalInstallFolder.c_str());
    platform::InvalidateAll(dialog);
}

// Starts phase `p`; false when it had nothing to do (noted done).
bool StartPhase(HWND dialog, Phase p) {
    const UpdateRecord r = Record();
    switch (p) {
    case Phase::kSharedCopy:
        StartWorker(p, [r](const migrate::StopCheck& stop) {
            return Actions().CopySharedFolder(r.sharedFolder, r.installFolder, stop);
        });
        return true;
    case Phase::kStep1:
    case Phase::kStep2:
    case Phase::kStep3:
        g_state.stepIndex = static_cast<int>(p) - static_cast<int>(Phase::kStep1);
        LaunchStep();
        return true;
    case Phase::kMove:
        if (!r.relocate) break;
        ShowMigrating(dialog);
        StartWorker(p, [r](const migrate::StopCheck& stop) {
            return Actions().RelocateInstallation(r.installFolder, r.finalInstallFolder, stop);
        });
        return true;
    case Phase::kRenames:
        ShowMigrating(dialog);
        StartWorker(p, [r](const migrate::StopCheck& stop) {
            return Actions().RenameProductItems(r.sharedFolder, r.finalInstallFolder, r.preferenceCopies, stop);
        });
        return true;
    case Phase::kShortcuts: {
        std::string programs = g_state.startMenuProgramsFolder, desktop = g_state.desktopFolder;
        StartWorker(p, [r, programs, desktop](const migrate::StopCheck& stop) {
            return Actions().MigrateShortcuts(r.finalInstallFolder, programs, desktop, stop);
        });
        return true;
    }
    case Phase::kRegistry: {
        std::string payloadFolder = g_state.tempFolder;
        StartWorker(p, [r, payloadFolder](const migrate::StopCheck& stop) {
            // Never toward a folder that does not hold the 5.0.3 program.
            migrate::Outcome proof = Actions().ProveFinalProgram(r.finalInstallFolder, payloadFolder);
            return proof.Ok() ? Actions().MigrateRegistry(r, stop) : proof;
        });
        return true;
    }
    case Phase::kLeftovers:
        StartWorker(p, [r](const migrate::StopCheck&) { return Actions().DeleteLeftovers(r.finalInstallFolder); });
        return true;
    default: break;
    }
    NoteDone(p);
    return false;
}

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
    g_run = RunState{};
    g_stop = false;
}

void StartPreflight(HWND dialog) {
    SetDialogMessage(IDS_CHECKING, g_state.installFolder.c_str());
    platform::InvalidateAll(dialog);
    g_stop = false;
    auto result = std::make_shared<WorkerResult>();
    g_run.result = result;
    g_run.worker = true;
    g_run.checking = true;
    // A copy: the preflight reads it on the worker while nothing here
    // changes the record, which it points at, until it has ended.
    PreflightInput in = PreflightInputFromState();
    if (!platform::StartThread([result, in] { result->preflight = Actions().Check(in); }, g_state.child)) {
        g_run.checking = false;
        g_state.ending = Ending::kInitFailed;
        g_state.running = false;
        LogEvent("preflight: no worker thread could be started: " + platform::ErrorDescription(platform::LastError()));
        ShowReadyAgain(dialog);
    }
}

// Nothing stands in the way: the record, then the first phase.
static void BeginPhases(HWND dialog) {
    if (!OpenRecord(dialog)) {
        g_state.running = false;
        ShowReadyAgain(dialog);
        return;
    }
    SetDialogMessage(IDS_UPDATING, g_state.installFolder.c_str());
    platform::InvalidateAll(dialog);
    LogEvent("update begun in " + g_state.installFolder);
    StartNextPhase(dialog);
}

// The preflight's verdict: the phases begin, or the run is over with a box
// (and, for files in use, the preflight again on Retry).
static void JudgePreflight(HWND dialog, const Preflight& p) {
    g_run.stepsDone = p.stepsDone;
    g_run.stepCutOff = p.stepCutOff;
    g_run.shown = p.shown;
    // The bytes each phase writes, and for the quick ones a share of the
    // steps' work (at least a megabyte): the bar moves as the work is done.
    uint64_t steps = 0;
    for (int k = 0; k < kPatchStepCount; ++k) steps += p.stepBytes[k];
    uint64_t small = std::max<uint64_t>(steps / 50, 1u << 20);
    for (int i = 0; i < static_cast<int>(Phase::kCount); ++i) g_run.weight[i] = small;
    g_run.weight[static_cast<int>(Phase::kSharedCopy)] = std::max(p.copyBytes, small);
    for (int k = 0; k < kPatchStepCount; ++k)
        g_run.weight[static_cast<int>(StepPhase(k))] = std::max(p.stepBytes[k], small);
    g_run.weight[static_cast<int>(Phase::kMove)] = small * 3;
    g_run.weight[static_cast<int>(Phase::kRegistry)] = small * 5;
    Ending verdict = p.Verdict();
    if (verdict == Ending::kUpdated) {
        LogEvent("preflight: nothing stands in the way; patch steps the installation has had: " +
                 std::to_string(p.stepsDone) + (p.stepCutOff ? " (and one cut off, to be finished)" : ""));
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

bool OpenRecord(HWND dialog) {
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
        if (r.Done(p) && !((g_run.shown >> i) & 1u))
            LogEvent(std::string("the record notes ") + PartName(p) +
                     " done, but the machine does not show it: it is done again");
    }
    r.done = g_run.shown;
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

void ShowReadyAgain(HWND dialog) {
    bool underWay = !g_state.recordPath.empty();
    SetDialogMessage(underWay ? IDS_RESUME : IDS_READY, g_state.installFolder.c_str());
    platform::InvalidateAll(dialog);
    platform::EnableControl(dialog, IDOK, true);
    platform::EnableControl(dialog, IDC_CHANGE_FOLDER, !underWay);
}

void StartNextPhase(HWND dialog) {
    for (;;) {
        if (g_run.halted || g_state.quitting) return;
        Phase next = Phase::kCount;
        for (int i = 0; i < static_cast<int>(Phase::kCount); ++i) {
            Phase p = static_cast<Phase>(i);
            if (!Record().Done(p) && !(g_run.tried & (1u << i))) {
                next = p;
                break;
            }
        }
        if (next == Phase::kCount) return;
        g_run.tried |= 1u << static_cast<int>(next);
        g_run.phase = next;
        if (StartPhase(dialog, next)) return;
    }
}

void EndPhase(HWND dialog) {
    if (g_run.checking) {
        g_state.child.Reset();
        g_run.checking = false;
        Preflight p = std::move(g_run.result->preflight);
        g_run.result.reset();
        return JudgePreflight(dialog, p);
    }
    AtBoundary("ended");
    if (!g_run.worker) {
        DWORD code = 0;
        if (!EngineExitCode(g_state.child, &code)) return;
        EndStep(code);
    } else {
        g_state.child.Reset();
        migrate::Outcome o = std::move(g_run.result->outcome);
        g_run.result.reset();
        if (o.stopped) {
            LogEvent(std::string(PartName(g_run.phase)) + ": stopped; running the updater again finishes it");
            g_run.halted = true;
        } else if (o.Ok()) {
            NoteDone(g_run.phase);
        } else {
            NoteFailed(g_run.phase, o.problems);
        }
    }
    StartNextPhase(dialog);
}

int WorkDone(int scale) {
    uint64_t all = 0, done = 0;
    for (int i = 0; i < static_cast<int>(Phase::kCount); ++i) {
        all += g_run.weight[i];
        if (Record().Done(static_cast<Phase>(i))) done += g_run.weight[i];
    }
    return all ? static_cast<int>(done * static_cast<uint64_t>(scale) / all) : 0;
}

bool PhaseOnWorker() { return g_run.worker; }

void RequestStop() { g_stop = true; }

const std::vector<std::string>& FailedParts() { return g_run.failedParts; }

const std::vector<migrate::Problem>& PartProblems() { return g_run.problems; }

}  // namespace app
