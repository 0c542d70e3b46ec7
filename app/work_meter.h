// The share of a run's work done, for the progress bar: the run is a row of
// parts (the preflight's look at the registry, then each phase to run), each
// with a cost in estimated milliseconds, and the part under way counts its
// items as they are done against the total it expects. Written by the
// worker thread, read by the dialog's; every call is safe on any thread.
#pragma once
#include <cstdint>
#include <mutex>
#include <vector>

namespace app {

class WorkMeter {
public:
    // Forgets everything: 0 done of nothing planned.
    void Reset();
    // The parts ahead and their costs, in the order they run; what was done
    // before (a part of the preflight that ran before its cost was known)
    // is not counted.
    void Plan(const std::vector<uint64_t>& costs);
    // Part `part` of the plan begins, `items` expected (0: it tells none, and
    // counts as half done until it ends).
    void Begin(size_t part, uint64_t items);
    // One more item of the part under way; past its total it stays full.
    void Item();
    // Part `part` is over (done, or nothing left to do in it).
    void End(size_t part);
    // The share done, 0..scale.
    int Done(int scale) const;

private:
    mutable std::mutex lock_;
    std::vector<uint64_t> costs_;
    size_t current_ = SIZE_MAX;  // the part under way
    uint64_t ended_ = 0;         // the costs of the parts over
    uint64_t items_ = 0, expected_ = 0;
};

}  // namespace app
