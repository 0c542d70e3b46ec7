#include "matcher.h"

#include <divsufsort.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace patchbuild {

namespace {

struct Window {
    const uint8_t* old;
    size_t oldSize;
    const uint8_t* nu;
    size_t newSize;
    std::vector<saidx_t> sa;
};

// Length of the common prefix of a[0..an) and b[0..bn), whose first
// `known` bytes are known to agree; eight bytes at a time.
size_t MatchLength(const uint8_t* a, size_t an, const uint8_t* b, size_t bn, size_t known = 0) {
    size_t n = std::min(an, bn), i = known;
    for (; i + 8 <= n; i += 8) {
        uint64_t x, y;
        memcpy(&x, a + i, 8);
        memcpy(&y, b + i, 8);
        if (x != y) return i + size_t(__builtin_ctzll(x ^ y)) / 8;  // little-endian: the lowest byte first
    }
    while (i < n && a[i] == b[i]) i++;
    return i;
}

// Longest exact match of nu[from..] among the old suffixes sa[lo..hi]. The
// suffixes between two that share a prefix with the target share it too,
// so each comparison starts after the shorter of the bounds' prefixes.
size_t Search(const Window& w, size_t from, size_t lo, size_t hi, size_t* pos) {
    const uint8_t* target = w.nu + from;
    size_t targetSize = w.newSize - from;
    size_t a = size_t(w.sa[lo]), b = size_t(w.sa[hi]);
    size_t la = MatchLength(w.old + a, w.oldSize - a, target, targetSize);
    size_t lb = MatchLength(w.old + b, w.oldSize - b, target, targetSize);
    while (hi - lo >= 2) {
        size_t mid = lo + (hi - lo) / 2;
        size_t at = size_t(w.sa[mid]);
        size_t n = std::min(w.oldSize - at, targetSize);
        size_t l = MatchLength(w.old + at, w.oldSize - at, target, targetSize, std::min(la, lb));
        if (l < n && w.old[at + l] < target[l]) {
            lo = mid;
            la = l;
        } else {
            hi = mid;
            lb = l;
        }
    }
    *pos = la >= lb ? size_t(w.sa[lo]) : size_t(w.sa[hi]);
    return std::max(la, lb);
}

// A match is taken when it beats the current alignment (the old position
// the last match would reach here) by more than kBetter bytes, as bsdiff
// takes it; one that moves the old position more than kFar away must beat
// it by kFarBetter more: its seek and the one back cost about five bytes,
// which a few literal bytes more or less do not pay for (the 51 MB
// program: 61% of its commands sought 1 MiB or more, 13% of the patch;
// with this, 2,600,455 -> 2,558,999 bytes, deltaprofile).
constexpr size_t kBetter = 8, kFarBetter = 8;
constexpr long kFar = 1 << 16;

size_t Threshold(size_t scan, size_t pos, long lastOffset) {
    long move = long(pos) - long(scan) - lastOffset;
    return move > kFar || move < -kFar ? kBetter + kFarBetter : kBetter;
}

bool Same(const Window& w, size_t oldAt, size_t newAt) { return oldAt < w.oldSize && w.old[oldAt] == w.nu[newAt]; }

// How far the previous match reaches forward (from lastScan/lastPos) while
// more than half of its bytes still agree.
size_t ForwardReach(const Window& w, size_t lastScan, size_t lastPos, size_t scan) {
    long agree = 0, best = 0;
    size_t reach = 0;
    for (size_t i = 0; lastScan + i < scan && lastPos + i < w.oldSize;) {
        if (w.old[lastPos + i] == w.nu[lastScan + i]) agree++;
        i++;
        if (agree * 2 - long(i) > best * 2 - long(reach)) {
            best = agree;
            reach = i;
        }
    }
    return reach;
}

// The same backwards from the next match's start (scan/pos).
size_t BackwardReach(const Window& w, size_t lastScan, size_t scan, size_t pos) {
    if (scan >= w.newSize) return 0;
    long agree = 0, best = 0;
    size_t reach = 0;
    for (size_t i = 1; scan >= lastScan + i && pos >= i; i++) {
        if (w.old[pos - i] == w.nu[scan - i]) agree++;
        if (agree * 2 - long(i) > best * 2 - long(reach)) {
            best = agree;
            reach = i;
        }
    }
    return reach;
}

struct Cut {
    size_t forward;   // bytes copied after the previous match's start
    size_t backward;  // bytes copied before the next match's start
};

// Where both reaches overlap, the bytes go to whichever side agrees better.
Cut Extend(const Window& w, size_t lastScan, size_t lastPos, size_t scan, size_t pos) {
    Cut cut{ForwardReach(w, lastScan, lastPos, scan), BackwardReach(w, lastScan, scan, pos)};
    if (lastScan + cut.forward <= scan - cut.backward) return cut;
    size_t overlap = lastScan + cut.forward - (scan - cut.backward);
    long score = 0, best = 0;
    size_t keep = 0;
    for (size_t i = 0; i < overlap; i++) {
        if (w.nu[lastScan + cut.forward - overlap + i] == w.old[lastPos + cut.forward - overlap + i]) score++;
        if (w.nu[scan - cut.backward + i] == w.old[pos - cut.backward + i]) score--;
        if (score > best) {
            best = score;
            keep = i + 1;
        }
    }
    cut.forward += keep - overlap;
    cut.backward -= keep;
    return cut;
}

}  // namespace

void DiffWindow(const uint8_t* oldBytes, size_t oldSize, uint64_t oldBase, const uint8_t* newBytes, size_t newSize,
                core::delta::CommandSink& writer, std::vector<core::x86::Segment>* copies) {
    if (oldSize == 0) {
        writer.Command(oldBase, nullptr, nullptr, 0, newBytes, newSize);
        return;
    }
    Window w{oldBytes, oldSize, newBytes, newSize, std::vector<saidx_t>(oldSize)};
    divsufsort(oldBytes, w.sa.data(), saidx_t(oldSize));
    size_t scan = 0, len = 0, pos = 0, lastScan = 0, lastPos = 0;
    long lastOffset = 0;
    while (scan < newSize) {
        size_t oldScore = 0;
        size_t scsc = scan += len;
        for (; scan < newSize; scan++) {
            len = Search(w, scan, 0, oldSize - 1, &pos);
            for (; scsc < scan + len; scsc++)
                if (Same(w, size_t(long(scsc) + lastOffset), scsc)) oldScore++;
            if ((len == oldScore && len != 0) || len > oldScore + Threshold(scan, pos, lastOffset)) break;
            if (Same(w, size_t(long(scan) + lastOffset), scan)) oldScore--;
        }
        if (len == oldScore && scan != newSize) continue;
        Cut cut = Extend(w, lastScan, lastPos, scan, pos);
        size_t extraFrom = lastScan + cut.forward;
        if (copies != nullptr && cut.forward != 0) copies->push_back({oldBase + lastPos, lastScan, cut.forward});
        writer.Command(oldBase + lastPos, oldBytes + lastPos, newBytes + lastScan, cut.forward, newBytes + extraFrom,
                       (scan - cut.backward) - extraFrom);
        lastScan = scan - cut.backward;
        lastPos = pos - cut.backward;
        lastOffset = long(pos) - long(scan);
    }
}

}  // namespace patchbuild
