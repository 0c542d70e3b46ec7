// The run as the dialog's thread starts and watches it: the preflight on the
// worker thread, its verdict (a box when it says no), the record before the
// first change, then the phases' loop (run_phases.h) on the worker, and its
// report once it has ended. Nothing here runs a phase.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "app/preflight.h"
#include "migrate/outcome.h"

namespace app {

// Forgets the run: its report, its bar, a stop asked for.
void ResetPhases();

// Starts the preflight on the folders of g_state (and the record of an
// update under way) on the worker thread: it reads the installation and
// walks the registry, seconds that the dialog must go on answering through.
// Its end is judged by WorkerEnded: when nothing stands in the way, the
// update record is written (the first change) and the phases' loop starts;
// otherwise g_state.ending says what (the README's codes), the log lists
// every finding, a box (Retry and Cancel for files in use: Retry runs the
// preflight again) tells the user, nothing has changed, and the run is over
// (g_state.running cleared, the dialog ready again).
void StartPreflight(HWND dialog);

// The worker in g_state.child has ended: the preflight (judged, and the
// loop started when it passed) or the phases' loop (its report taken: the
// record's done phases, a failed patch step in g_state.ending and
// g_state.failure, the parts that failed). Leaves g_state.child empty when
// nothing more runs.
void WorkerEnded(HWND dialog);

// The preflight's view of g_state: the folders as the run will use them and
// the record of an update under way.
PreflightInput PreflightInputFromState();
// The words that head a refused preflight's report.
const char* RefusalHeading(common::Ending verdict);

// After a refused start: the message and buttons of a dialog ready to try
// again ("Change folder" only when no update is under way).
void ShowReadyAgain(HWND dialog);

// The share of this run's work done, 0..scale (WorkMeter): 0 until the
// preflight has measured the work.
int WorkDone(int scale);
// Whether the loop has reached the move or a phase after it.
bool Migrating();

// Asks the worker to stop between two items (a running engine is ended).
void RequestStop();

// What the run leaves undone at its end: the parts that failed (their names
// in the log's words) and their problems.
const std::vector<std::string>& FailedParts();
const std::vector<migrate::Problem>& PartProblems();

}  // namespace app
