#include "app/work_meter.h"

namespace app {

void WorkMeter::Reset() { Plan({}); }

void WorkMeter::Plan(const std::vector<uint64_t>& costs) {
    std::lock_guard<std::mutex> hold(lock_);
    costs_ = costs;
    current_ = SIZE_MAX;
    ended_ = items_ = expected_ = 0;
}

void WorkMeter::Begin(size_t part, uint64_t items) {
    std::lock_guard<std::mutex> hold(lock_);
    current_ = part;
    items_ = 0;
    expected_ = items;
}

void WorkMeter::Item() {
    std::lock_guard<std::mutex> hold(lock_);
    ++items_;
}

void WorkMeter::End(size_t part) {
    std::lock_guard<std::mutex> hold(lock_);
    if (part < costs_.size()) ended_ += costs_[part];
    if (current_ == part) current_ = SIZE_MAX;
}

int WorkMeter::Done(int scale) const {
    std::lock_guard<std::mutex> hold(lock_);
    uint64_t all = 0;
    for (uint64_t c : costs_) all += c;
    if (all == 0) return 0;
    uint64_t done = ended_;
    if (current_ < costs_.size()) {
        uint64_t cost = costs_[current_];
        done += expected_ == 0 ? cost / 2 : items_ >= expected_ ? cost : cost * items_ / expected_;
    }
    if (done > all) done = all;
    // In steps of the scale: costs reach billions (bytes), scales are small.
    return static_cast<int>(done * static_cast<uint64_t>(scale) / all);
}

}  // namespace app
