// Carries out a run: recovers what an interrupted run left, then applies a
// patch all or nothing under the journal's protection.
#pragma once
#include <set>
#include <string>
#include <vector>

#include "journal.h"
#include "log.h"
#include "options.h"
#include "source.h"
#include "step.h"

namespace eng {

// Exit codes of the engine.
enum ExitCode : int {
    exitOk = 0,
    exitFailed = 1,     // the update did not happen; the folder is as before
    exitUsage = 2,      // bad command line; nothing was looked at
    exitUnsettled = 3,  // an undo or recovery failed; the journal stays for the next run
};

class Runner {
public:
    Runner(const Tree& tree, const Options& options, Log& log);
    // Finishes or undoes a run that left its journal behind. With -t it only
    // reads the journal and says that it is there: a check changes nothing,
    // and judges the folder as the recovery would leave it (see BuildPlan).
    ExitCode Recover();
    ExitCode Apply(const PatchSource& source);

private:
    ExitCode Commit(const PatchSource& source, const std::vector<Step>& steps);
    bool RunStep(const PatchSource& source, const Step& s, uint32_t index);
    // Undoes steps lastBegun .. 0. True when every change is undone; a backup
    // that cannot be removed yet is then only a leftover, and the journal
    // goes either way.
    bool RollBack(const std::vector<Step>& steps, int64_t lastBegun);
    // After "committed": removes the backups and work files. What cannot be
    // removed stays as a leftover; the journal goes.
    void Forget(const std::vector<Step>& steps);
    // Takes the backup folder a step list names (its first step, if any).
    void UseBackupFolderOf(const std::vector<Step>& steps);
    void NoteLeftover(const std::wstring& what);
    void ReportFailure(const Step& s, const Failure& f);
    // Test hook: DVPATCH_STOP_AT=N ends the process dead at the Nth point
    // where a kill is worth trying (after a journal record, after a step).
    void StopPoint();

    Tree tree_;
    const Options& options_;
    Log& log_;
    std::wstring journalPath_;
    std::set<std::string> pendingWork_;  // -t: work names an interrupted run left
    JournalWriter journal_;
    long stopAt_ = 0;
    long stopCount_ = 0;
};

}  // namespace eng
