// Turns the patch's entries and what is on disk into the run's step list.
// Every entry is checked here, before anything is touched: a file is
// changed only when it hashes to the recorded old content; an entry whose
// target already is in its new state is done and gets no step.
#pragma once
#include <vector>

#include "log.h"
#include "patchfile.h"
#include "step.h"

namespace eng {

struct PlanCounts {
    size_t toDo = 0;
    size_t alreadyDone = 0;
};

// Logs every entry that cannot be applied and then returns false.
bool BuildPlan(const Tree& tree, const std::vector<core::patchfile::Entry>& entries, Log& log, std::vector<Step>* steps,
               PlanCounts* counts);

}  // namespace eng
