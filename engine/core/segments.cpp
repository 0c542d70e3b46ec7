#include "segments.h"

#include <atomic>
#include <system_error>
#include <thread>

#include "deltamodel.h"
#include "varint.h"

namespace core::segments {

namespace {

struct Placed {
    Segment s;
    uint64_t newStart, dataStart;
};

// What the threads share: the segments, the next one to take, and each
// one's result. A failed segment stops the others at their next write.
struct Run {
    Io& io;
    uint64_t oldSize;
    delta::Copies copies;
    std::vector<Placed> segments;
    std::vector<delta::Result> results;
    std::vector<uint8_t> stopped;  // each written by its segment's thread only
    std::atomic<uint32_t> next{0};
    std::atomic<bool> stop{false};
};

// A segment's output: in order from its start, to its place in the file.
class PlacedOut : public delta::OutStream {
public:
    PlacedOut(Run& run, uint64_t at) : run_(run), at_(at) {}
    bool Write(const void* buf, size_t n) override {
        if (run_.stop.load(std::memory_order_relaxed)) {
            stopped_ = true;
            return false;
        }
        if (!run_.io.WriteAt(at_, buf, n)) return false;
        at_ += n;
        return true;
    }
    bool Stopped() const { return stopped_; }

private:
    Run& run_;
    uint64_t at_;
    bool stopped_ = false;
};

// Takes segments in order until none is left or one has failed.
void Work(Run* run) {
    std::unique_ptr<delta::OldReader> old = run->io.Old();
    for (;;) {
        uint32_t k = run->next.fetch_add(1);
        if (k >= run->segments.size() || run->stop.load()) return;
        const Placed& p = run->segments[k];
        std::unique_ptr<delta::InStream> in = run->io.Data(p.dataStart, p.s.codedSize);
        PlacedOut out(*run, p.newStart);
        delta::Result r = delta::Apply(*old, run->oldSize, *in, p.s.codedSize, out, p.s.newSize, run->copies);
        run->results[k] = r;
        run->stopped[k] = out.Stopped();
        if (r != delta::Result::ok) run->stop = true;
    }
}

// The table: sizes checked to account for newSize and for the data exactly,
// without overflow.
delta::Result ReadTable(Io& io, uint64_t dataOffset, uint64_t dataSize, uint64_t newSize, std::vector<Placed>* out) {
    if (dataSize == 0) return delta::Result::corrupt;
    std::vector<uint8_t> head(size_t(dataSize < kMaxTableBytes ? dataSize : kMaxTableBytes));
    if (!io.Data(dataOffset, head.size())->Read(head.data(), head.size())) return delta::Result::readError;
    varint::Cursor c{head.data(), head.size()};
    uint64_t count;
    if (!c.Var(&count) || count == 0 || count > kMaxCount) return delta::Result::corrupt;
    out->resize(size_t(count));
    for (uint64_t k = 0; k + 1 < count; k++)
        if (!c.Var(&(*out)[k].s.newSize) || !c.Var(&(*out)[k].s.codedSize)) return delta::Result::corrupt;
    uint64_t made = 0, coded = head.size() - c.left;
    for (Placed& p : *out) {
        if (&p == &out->back()) p.s = {newSize - made, dataSize - coded};
        if (p.s.newSize > newSize - made || p.s.codedSize > dataSize - coded) return delta::Result::corrupt;
        p.newStart = made;
        p.dataStart = dataOffset + coded;
        made += p.s.newSize;
        coded += p.s.codedSize;
    }
    return delta::Result::ok;
}

}  // namespace

uint32_t CountFor(uint64_t newSize) {
    if (newSize <= kOneStreamBytes) return 1;
    uint64_t n = newSize / kLeastBytes;
    n -= n % 2;
    if (n < 2) n = 2;
    return n == 0 ? 1 : n > kMaxCount ? kMaxCount : uint32_t(n);
}

std::vector<uint8_t> WriteTable(const std::vector<Segment>& segments) {
    std::vector<uint8_t> out;
    varint::Put(&out, segments.size());
    for (size_t k = 0; k + 1 < segments.size(); k++) {
        varint::Put(&out, segments[k].newSize);
        varint::Put(&out, segments[k].codedSize);
    }
    return out;
}

unsigned ThreadsFor(uint64_t largest, delta::Copies copies, unsigned count, unsigned maxThreads) {
    size_t each = delta::ModelBytes(largest, copies) + kThreadBuffers;
    size_t fit = kDecodeBudget / each;
    unsigned n = maxThreads < count ? maxThreads : count;
    if (n > fit) n = unsigned(fit);
    return n == 0 ? 1 : n;
}

delta::Result Apply(Io& io, uint64_t oldSize, uint64_t dataOffset, uint64_t dataSize, uint64_t newSize,
                    delta::Copies copies, unsigned maxThreads) {
    Run run{io, oldSize, copies, {}, {}, {}};
    delta::Result r = ReadTable(io, dataOffset, dataSize, newSize, &run.segments);
    if (r != delta::Result::ok) return r;
    uint32_t count = uint32_t(run.segments.size());
    run.results.assign(count, delta::Result::ok);
    run.stopped.assign(count, false);
    uint64_t largest = 0;
    for (const Placed& p : run.segments) largest = p.s.newSize > largest ? p.s.newSize : largest;
    unsigned threads = ThreadsFor(largest, copies, count, maxThreads);
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; t++) {
        try {
            helpers.emplace_back(Work, &run);
        } catch (const std::system_error&) {
            break;  // no more threads to be had: the ones running do the rest
        }
    }
    Work(&run);
    for (std::thread& t : helpers) t.join();
    // A stopped segment did not fail: another one did, and says why.
    for (uint32_t k = 0; k < count; k++)
        if (run.results[k] != delta::Result::ok && !run.stopped[k]) return run.results[k];
    return delta::Result::ok;
}

}  // namespace core::segments
