// The phases of one run, as the sequencer drives them: the preflight and
// the record before the first change, starting each phase not done (the
// engine for a patch step, a worker thread for the rest), judging it when it
// has ended, and what the run has to report at its end.
#pragma once
#include <windows.h>
#include <string>
#include <vector>
#include "app/preflight.h"
#include "migrate/outcome.h"

namespace app {

// Forgets the run's state: problems, parts that failed, phases tried.
void ResetPhases();

// Starts the preflight on the folders of g_state (and the record of an
// update under way) on the worker thread: it reads the whole installation
// and walks the registry, seconds that the dialog must go on answering
// through. Its end is judged by EndPhase: when nothing stands in the way, the
// update record is written (the first change) and the first phase not done
// starts; otherwise g_state.ending says what (the README's codes), the log
// lists every finding, a box (Retry and Cancel for files in use: Retry runs
// the preflight again) tells the user, nothing has changed, and the run is
// over (g_state.running cleared, the dialog ready again).
void StartPreflight(HWND dialog);

// Writes the update record before the first change: a new one for a new
// update, the found one for an update being finished, with the patch steps
// the preflight found done. False (told, g_state.ending set) when it cannot
// be written: nothing may change then.
bool OpenRecord(HWND dialog);

// The preflight's view of g_state: the folders as the run will use them and
// the record of an update under way.
PreflightInput PreflightInputFromState();
// The words that head a refused preflight's report.
const char* RefusalHeading(common::Ending verdict);

// After a refused start: the message and buttons of a dialog ready to try
// again ("Change folder" only when no update is under way).
void ShowReadyAgain(HWND dialog);

// Starts the first phase that is neither done nor tried in this run and may
// run after what happened: no patch step after a failed one or a failed
// copy of the shared folder, nothing after a failed move or a program that
// did not take its new name (no shortcut or registry value may name a
// "Dovetra.exe" that is not there). Phases with nothing to do are noted done
// on the way. Leaves g_state.child empty when nothing more runs.
void StartNextPhase(HWND dialog);

// The preflight or phase in g_state.child has ended: judges it, notes it
// done in the record or keeps what failed, and starts the next
// (StartNextPhase).
void EndPhase(HWND dialog);

// The share of this run's work done, 0..scale: the phases done (by the
// machine or in this run), each by its weight (a patch step or the copy of
// the shared folder by the bytes it writes, as the preflight found them; the
// other phases by a fixed share). 0 before the preflight has passed.
int WorkDone(int scale);

// Whether g_state.child is a worker thread (else the engine).
bool PhaseOnWorker();
// Asks the running worker to stop between two items.
void RequestStop();

// What the run leaves undone at its end: the parts that failed (their names
// in the log's words) and their problems.
const std::vector<std::string>& FailedParts();
const std::vector<migrate::Problem>& PartProblems();

}  // namespace app
