#include "app/phase_list.h"
#include "app/fault.h"
#include "app/step_log.h"
#include "app/update_actions.h"
#include "common/event_log.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "payload/engine.h"
#include "platform/error.h"
#include "platform/process.h"

namespace app {
using namespace common;

namespace {

// The engine's options for a patch step: a log in the working folder, user
// files in removed folders kept, a line per entry, nothing on a console.
const char kStepOptions[] = "-e -i -v -noc";
// How often a running engine is looked at for a stop, and how long a
// stopped one is given to be gone (its program file is deleted after).
const DWORD kEnginePollMs = 50;
const DWORD kEngineEndWaitMs = 5000;

// The costs, in milliseconds as measured under Wine on two cores: a start of
// the engine, and a megabyte written by it, by a copy or by a move across
// volumes; a registry walk, by the keys near the roots, which stand for the
// keys below them.
const uint64_t kEngineStartMs = 150;
const uint64_t kBytesPerMs = 50000;
const uint64_t kNearKeysPer10Ms = 30;

uint64_t Fixed20(const Preflight&) { return 20; }
uint64_t Fixed100(const Preflight&) { return 100; }
uint64_t None(const Preflight&) { return 0; }
uint64_t RegistryCost(uint64_t nearKeys) { return nearKeys * 10 / kNearKeysPer10Ms; }

// --- the shared folder's copy ---

bool CopyShown(const ProofInput&, int stepsDone, bool cutOff) { return stepsDone > 0 || cutOff; }
migrate::Outcome CopyRun(const PhaseJob& j, const migrate::StopCheck& stop, StepFailure*) {
    return Actions().CopySharedFolder(j.record.sharedFolder, j.record.installFolder, stop);
}
uint64_t CopyCost(const Preflight& p) { return 20 + p.copyBytes / kBytesPerMs; }

// --- the patch steps ---

// The step failed before the engine could say why: the words go into
// "patch.err" for the user, or into a box when even that cannot be written.
migrate::Outcome StepFailed(const PhaseJob& j, StepFailure* failure, const std::string& why) {
    failure->failed = true;
    LogEvent("update failed: " + why);
    if (!WriteEngineLog(j.record.installFolder.c_str(), why + "\r\n")) failure->untold = why;
    migrate::Outcome out;
    out.Add(migrate::Problem{j.record.installFolder, "", why, 0});
    return out;
}

// The engine on step `k` in the install folder, waited for; a stop ends it.
// A failed step stops the run: the engine applies a step whole or not at
// all, so the folder stays as the steps before left it.
migrate::Outcome RunStep(const PhaseJob& j, int k, const migrate::StopCheck& stop, StepFailure* failure) {
    const char* folder = j.record.installFolder.c_str();
    const std::string file = g_patchSteps[k].fileName;
    if (!payload::ClearEngineLog(folder))
        return StepFailed(j, failure,
                          "The log \"patch.err\" of an earlier run in " + j.record.installFolder +
                              " cannot be removed (" + platform::ErrorDescription(platform::LastError()) +
                              "). The patch file " + file + " and the ones after it were not applied.");
    migrate::Outcome out;
    if (migrate::StopRequested(stop)) {
        out.stopped = true;
        return out;
    }
    BeforeEngine(k);
    platform::Handle engine;
    if (!payload::LaunchPatchEngine(j.engineProgram.c_str(), kStepOptions, file.c_str(), folder, j.showEngine,
                                    engine)) {
        DWORD error = platform::LastError();
        return StepFailed(j, failure,
                          "The patch engine could not be started for the patch file " + file +
                              ".\r\nProgram: " + j.engineProgram + "\r\nReason: " + platform::ErrorDescription(error) +
                              " (system error " + std::to_string(error) +
                              ").\r\nThis step and the steps after it were not applied; the files in this "
                              "folder are as the earlier steps left them.");
    }
    LogEvent("step " + file + " started in " + folder);
    while (!platform::WaitProcessEnd(engine.Get(), kEnginePollMs)) {
        if (!migrate::StopRequested(stop)) continue;
        // Its journal finishes or undoes the step on the next run.
        platform::EndProcess(engine.Get(), 1);
        platform::WaitProcessEnd(engine.Get(), kEngineEndWaitMs);
        LogEvent("step " + file + " ended by Cancel");
        out.stopped = true;
        return out;
    }
    DWORD code = 0;
    if (!payload::EngineExitCode(engine, &code)) code = STILL_ACTIVE;
    engine.Reset();
    payload::StepVerdict verdict = payload::JudgeStep(folder, code);
    LogEvent("step " + file + " ended: exit code " + std::to_string(code) +
             ", log: " + payload::DescribeVerdict(verdict));
    KeepStepLog(folder, g_patchSteps[k], verdict == payload::StepVerdict::kSucceeded);
    if (verdict == payload::StepVerdict::kSucceeded) return out;
    if (verdict == payload::StepVerdict::kFailed) {
        failure->failed = true;
        LogEvent("update failed at " + file);
        out.Add(migrate::Problem{j.record.installFolder, "", "The patch engine failed on " + file + ".", 0});
        return out;
    }
    return StepFailed(j, failure,
                      "The patch engine ended with exit code " + std::to_string(code) + " on the patch file " + file +
                          ", but its log " + payload::DescribeVerdict(verdict) + ". The update is not taken as done.");
}

template <int K>
bool StepShown(const ProofInput&, int stepsDone, bool) {
    return stepsDone > K;
}
template <int K>
migrate::Outcome StepRun(const PhaseJob& j, const migrate::StopCheck& stop, StepFailure* failure) {
    return RunStep(j, K, stop, failure);
}
template <int K>
uint64_t StepCost(const Preflight& p) {
    return kEngineStartMs + p.stepBytes[K] / kBytesPerMs;
}
// The engine tells nothing while it runs: the step counts its looks at it,
// one per kEnginePollMs, against the time it is expected to take. An engine
// slower than that holds the bar at the step's end until it has ended.
template <int K>
uint64_t StepItems(const Preflight& p) {
    return StepCost<K>(p) / kEnginePollMs;
}

// --- the migration ---

bool MoveProven(const ProofInput& in, int, bool) { return MoveShown(in); }
migrate::Outcome MoveRun(const PhaseJob& j, const migrate::StopCheck& stop, StepFailure*) {
    if (!j.record.relocate) return {};  // the installation stays where it is
    return Actions().RelocateInstallation(j.record.installFolder, j.record.finalInstallFolder, stop);
}
uint64_t MoveCost(const Preflight& p) { return 100 + p.moveBytes / kBytesPerMs; }

bool RenamesProven(const ProofInput& in, int, bool) {
    return migrate::RenamesShown(in.sharedFolder, in.finalInstallFolder, in.preferenceCopies);
}
migrate::Outcome RenamesRun(const PhaseJob& j, const migrate::StopCheck& stop, StepFailure*) {
    return Actions().RenameProductItems(j.record.sharedFolder, j.record.finalInstallFolder, j.record.preferenceCopies,
                                        stop);
}

bool ShortcutsProven(const ProofInput& in, int, bool) {
    return migrate::ShortcutsShown(in.finalInstallFolder, in.programsFolder, in.desktopFolder);
}
migrate::Outcome ShortcutsRun(const PhaseJob& j, const migrate::StopCheck& stop, StepFailure*) {
    return Actions().MigrateShortcuts(j.record.finalInstallFolder, j.programsFolder, j.desktopFolder, stop);
}

bool RegistryProven(const ProofInput& in, int, bool) { return migrate::RegistryShown(in.finalInstallFolder.c_str()); }
migrate::Outcome RegistryRun(const PhaseJob& j, const migrate::StopCheck& stop, StepFailure*) {
    // Never toward a folder that does not hold the 5.0.3 program.
    migrate::Outcome proof = Actions().ProveFinalProgram(j.record.finalInstallFolder, j.payloadFolder);
    return proof.Ok() ? Actions().MigrateRegistry(j.record, stop) : proof;
}
uint64_t RegistryPhaseCost(const Preflight& p) { return 50 + RegistryCost(p.registryNearKeys); }
uint64_t RegistryItems(const Preflight& p) { return p.registryKeys; }

bool LeftoversProven(const ProofInput& in, int, bool) { return LeftoversGone(in); }
migrate::Outcome LeftoversRun(const PhaseJob& j, const migrate::StopCheck&, StepFailure*) {
    return Actions().DeleteLeftovers(j.record.finalInstallFolder);
}

const PhaseFaces kPhases[] = {
    {Phase::kSharedCopy, "the copy of the shared folder", true, CopyShown, CopyRun, CopyCost, None},
    {Phase::kStep1, "patch step 1", true, StepShown<0>, StepRun<0>, StepCost<0>, StepItems<0>},
    {Phase::kStep2, "patch step 2", true, StepShown<1>, StepRun<1>, StepCost<1>, StepItems<1>},
    {Phase::kStep3, "patch step 3", true, StepShown<2>, StepRun<2>, StepCost<2>, StepItems<2>},
    {Phase::kMove, "the move to the new folder", true, MoveProven, MoveRun, MoveCost, None},
    {Phase::kRenames, "the new names", true, RenamesProven, RenamesRun, Fixed20, None},
    {Phase::kShortcuts, "the shortcuts", false, ShortcutsProven, ShortcutsRun, Fixed100, None},
    {Phase::kRegistry, "the registry", false, RegistryProven, RegistryRun, RegistryPhaseCost, RegistryItems},
    {Phase::kLeftovers, "the removal of leftover files", false, LeftoversProven, LeftoversRun, Fixed20, None},
};
static_assert(sizeof(kPhases) / sizeof(kPhases[0]) == static_cast<size_t>(Phase::kCount), "a face per phase");

}  // namespace

const PhaseFaces& PhaseOf(Phase p) { return kPhases[static_cast<int>(p)]; }

uint32_t ProvePhases(const ProofInput& in, int stepsDone, bool stepCutOff) {
    uint32_t shown = 0;
    for (const PhaseFaces& f : kPhases) {
        if (!f.prove(in, stepsDone, stepCutOff)) {
            if (f.halts) break;
            continue;
        }
        shown |= 1u << static_cast<int>(f.id);
    }
    return shown;
}

std::vector<Phase> PhasesToRun(uint32_t shown) {
    std::vector<Phase> run;
    for (const PhaseFaces& f : kPhases)
        if (!((shown >> static_cast<int>(f.id)) & 1u)) run.push_back(f.id);
    return run;
}

std::vector<uint64_t> PlanOf(const Preflight& p) {
    std::vector<uint64_t> costs{RegistryCost(p.registryNearKeys)};
    for (Phase id : PhasesToRun(p.shown)) costs.push_back(PhaseOf(id).cost(p));
    return costs;
}

}  // namespace app
