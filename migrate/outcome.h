// What a part of the migration did, as a value for its caller: migrate/
// shows nothing. app/ decides what the user sees (a box in the dialog, a
// log line with /quiet) and whether the part is run again.
#pragma once
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

namespace migrate {

// One item a part could not handle.
struct Problem {
    std::string item;    // the file, folder, shortcut or key concerned (full path)
    std::string target;  // where it was to go, when it was to go somewhere
    std::string why;     // a short reason in our words; empty when `error` says it all
    DWORD error = 0;     // the system's code; 0 when the reason is ours
};

// Consulted between items: true once the user asked to stop (Cancel). A
// part that sees it returns promptly, leaving every item either done or not
// begun, so that running the part again finishes it. May be empty.
using StopCheck = std::function<bool()>;

struct Outcome {
    std::vector<Problem> problems;
    bool stopped = false;  // returned early on a stop request
    bool Ok() const { return problems.empty() && !stopped; }
    void Add(Problem p) { problems.push_back(std::move(p)); }
    void Take(const Outcome& other) {
        problems.insert(problems.end(), other.problems.begin(), other.problems.end());
        stopped |= other.stopped;
    }
};

inline bool StopRequested(const StopCheck& stop) { return stop && stop(); }

}  // namespace migrate
