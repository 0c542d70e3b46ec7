// Turns the patch's entries and what is on disk into the run's step list.
// Every entry is checked here, before anything is touched: a file is
// changed only when it hashes to the recorded old content; an entry whose
// target already is in its new state is done and gets no step.
#pragma once
#include <set>
#include <string>
#include <vector>

#include "log.h"
#include "patchfile.h"
#include "step.h"

namespace eng {

struct PlanCounts {
    size_t toDo = 0;
    size_t alreadyDone = 0;
};

// Logs every entry that cannot be applied and then returns false; a file to
// be replaced or removed that is in use is one such entry (wpt0022), so a
// run refuses every such file at once, before its first change.
// pendingWork: FileKeys of work names that the recovery of an interrupted
// run removes before anything is applied; they do not count as taken. When
// something is replaced or removed, the first step makes the backup folder,
// the first of Tree::BackupFolderName's names that is free.
bool BuildPlan(const Tree& tree, const std::vector<core::patchfile::Entry>& entries,
               const std::set<std::string>& pendingWork, Log& log, std::vector<Step>* steps, PlanCounts* counts);

}  // namespace eng
