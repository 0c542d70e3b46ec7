#include "app/run_phases.h"
#include "app/fault.h"
#include "common/event_log.h"
#include "common/update_record.h"
#include "platform/error.h"

namespace app {
using namespace common;

RunReport RunPhases(const PhaseJob& job, const std::string& recordPath, WorkMeter& meter,
                    const migrate::StopCheck& stop, std::atomic<int>& current) {
    RunReport report;
    UpdateRecord record = job.record;
    std::string path = recordPath;
    size_t part = 0;
    for (Phase id : PhasesToRun(record.done)) {
        const PhaseFaces& f = PhaseOf(id);
        ++part;
        if (migrate::StopRequested(stop)) {
            report.stopped = true;
            break;
        }
        current = static_cast<int>(id);
        meter.Begin(part, job.items[static_cast<int>(id)]);
        LogEvent(std::string(f.name) + ": begun");
        const char* key = PhaseKey(id);
        migrate::Outcome o = f.run(
            job,
            [key, &meter, &stop] {
                AtBoundary(key);
                meter.Item();
                return migrate::StopRequested(stop);
            },
            &report.step);
        AtBoundary("ended");
        if (o.stopped) {
            LogEvent(std::string(f.name) + ": stopped; running the updater again finishes it");
            report.stopped = true;
            break;
        }
        meter.End(part);
        if (o.Ok()) {
            record.MarkDone(id);
            // A record that cannot be updated only makes the next run prove
            // this phase on the machine, which shows it done.
            if (!SaveRecord(record, &path))
                LogEvent("note: the update record could not be updated: " +
                         platform::ErrorDescription(platform::LastError()));
            LogEvent(std::string(f.name) + ": done");
            FlushEventLog();
            AtBoundary("done");
            continue;
        }
        if (report.step.failed) break;  // the engine's log says why
        report.failedParts.push_back(f.name);
        report.problems.insert(report.problems.end(), o.problems.begin(), o.problems.end());
        LogEvent(std::string(f.name) + ": failed");
        for (const migrate::Problem& q : o.problems)
            LogEvent("  " + q.item + (q.target.empty() ? "" : " -> " + q.target) + ": " +
                     (q.why.empty() ? platform::ErrorDescription(q.error) : q.why));
        FlushEventLog();
        if (f.halts) break;
    }
    report.done = record.done;
    return report;
}

}  // namespace app
