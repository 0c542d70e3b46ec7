// The run of an update: one loop over the phase list (phase_list.h), the
// same for the dialog and /quiet. It runs on a worker thread, shows nothing
// and touches no process-wide state: the dialog and the log only watch it
// (the meter, the phase under way) and read its report once it has ended.
#pragma once
#include <atomic>
#include <string>
#include <vector>
#include "app/phase_list.h"
#include "app/work_meter.h"
#include "migrate/outcome.h"

namespace app {

struct RunReport {
    uint32_t done = 0;                     // the phases done at the end, as the record notes them
    StepFailure step;                      // a patch step failed
    std::vector<std::string> failedParts;  // the other phases that failed, by name
    std::vector<migrate::Problem> problems;
    bool stopped = false;  // a stop (Cancel) ended the run between two items
};

// Runs every phase of PhasesToRun(job.record.done), in order, each as soon
// as the one before has ended. A phase done is noted in the record at
// `recordPath` (written whole and flushed) before the next begins; a phase
// that fails is reported and, when it halts, ends the run; a stop ends it
// between two items. `meter` counts part 1, 2, ... (the plan's parts after
// the preflight's); `current` holds the phase under way (Phase::kCount
// before the first). Every phase's run passes the update's boundaries
// (fault.h): its key before each item, "ended" after its work, "done" once
// noted.
RunReport RunPhases(const PhaseJob& job, const std::string& recordPath, WorkMeter& meter,
                    const migrate::StopCheck& stop, std::atomic<int>& current);

}  // namespace app
