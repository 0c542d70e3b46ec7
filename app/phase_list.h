// The phases of an update, each with the same faces: what the machine shows
// of it (prove), doing what is left of it (run, stoppable between items),
// how much work it is (cost and items, from the preflight), and what failed
// (the problems of its outcome). The run is one loop over this list
// (run_phases.h); the preflight proves the list on the machine; the bar
// weighs it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "app/preflight.h"
#include "app/proof.h"
#include "common/update_record.h"
#include "migrate/outcome.h"

namespace app {

// What the phases work on: copied from the run's state once the record is
// written, then read on the worker thread alone.
struct PhaseJob {
    common::UpdateRecord record;
    std::string programsFolder;
    std::string desktopFolder;
    std::string payloadFolder;  // the extracted patch files
    std::string engineProgram;
    bool showEngine = false;  // the engine's console, in diagnostic mode
    // The items each phase's run counts, as PhaseFaces::items measured them.
    uint64_t items[static_cast<int>(common::Phase::kCount)] = {};
};

// A patch step's failure the user must be told of in a box: "patch.err",
// which normally says it, could not be written.
struct StepFailure {
    bool failed = false;  // a patch step failed: the run ends "not updated"
    std::string untold;   // the words that could not go into "patch.err"
};

struct PhaseFaces {
    common::Phase id;
    const char* name;  // in the log's words: "patch step 1", "the registry"
    // A failure leaves nothing the later phases could build on: no patch
    // step after a failed copy or step, nothing after a failed move or a
    // program that did not take its new name.
    bool halts;
    // Whether the machine shows the phase done, the patch steps as the
    // installation's hashes found them. Reads only.
    bool (*prove)(const ProofInput& in, int stepsDone, bool stepCutOff);
    // Does what is left of the phase; consults `stop` before each item and
    // returns early, `stopped` set, when it says so. Runs on the worker.
    migrate::Outcome (*run)(const PhaseJob& job, const migrate::StopCheck& stop, StepFailure* failure);
    // Its work as the preflight measured it: estimated milliseconds, and the
    // items its run counts through `stop` (0: it tells none; a patch step
    // counts its looks at the engine, a time).
    uint64_t (*cost)(const Preflight& p);
    uint64_t (*items)(const Preflight& p);
};

// Indexed by common::Phase, in the order the phases run.
const PhaseFaces& PhaseOf(common::Phase p);
inline const char* PhaseName(common::Phase p) { return PhaseOf(p).name; }

// The phases the machine shows done, as bits of common::Phase: each one's
// prove face, and none whose halting phases before it are not shown (the
// registry is not proven for an installation that has not moved yet). The
// move of an installation that does not move counts as shown.
uint32_t ProvePhases(const ProofInput& in, int stepsDone, bool stepCutOff);

// The phases a run has, in order: those not in `shown`.
std::vector<common::Phase> PhasesToRun(uint32_t shown);

// The bar's plan (WorkMeter::Plan): the preflight's look at the registry
// (part 0, by p.registryNearKeys), then each phase of PhasesToRun(p.shown).
std::vector<uint64_t> PlanOf(const Preflight& p);

}  // namespace app
