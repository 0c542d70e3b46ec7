// deltaprofile OLD NEW [SEGMENTS...]
// Where the bytes of one file's delta go: runs the builder's matcher as
// mkpatch does (for a PE32 pair, the x86 rewrite's second pass), then codes
// its commands with a coder that only counts -log2(p) per decision, by kind
// of decision, for each segment count asked (0: the builder's own), and
// tells how many literal bytes could have come from a long match (24 bytes
// or more) in the old file or earlier in the new one. A measurement tool for
// the benchmark notes (engine/README.md); nothing here is in the patch
// format.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <algorithm>
#include <string>
#include <vector>

#include "deltamodel.h"
#include "builder.h"
#include "deltawriter.h"
#include "hostfile.h"
#include "matcher.h"
#include "segments.h"
#include "x86.h"

namespace {

using namespace core::delta;

enum Kind {
    kSeek,
    kCopyLen,
    kExtraLen,
    kZeroRun,
    kDirtyLen,
    kGroupBit,
    kZeroFlag,
    kDiffByte,
    kLitNew,
    kLitOld,
    kLitNone,
    kKinds
};
const char* const kNames[kKinds] = {
    "seek",           "copy length", "extra length",           "zero run",        "dirty span length", "group bit",
    "diff zero flag", "diff byte",   "literal, repeat of new", "literal, in old", "literal, novel"};

struct CostCoder {
    double bits[kKinds] = {};
    int kind = 0;
    int then = -1;  // the kind of the decisions after the next one; -1: the same
    unsigned Code(core::rc::Prob& p, unsigned bit) {
        unsigned coded = CodeFixed(core::rc::Probability(p), bit);
        core::rc::Update(p, bit);
        return coded;
    }
    unsigned CodeFixed(uint32_t p0, unsigned bit) {
        double q = p0 / 65536.0;
        Count(-std::log2(bit ? 1 - q : q));
        return bit;
    }
    uint32_t Direct(uint32_t value, int count) {
        Count(count);
        return value;
    }
    void Count(double b) {
        bits[kind] += b;
        if (then >= 0) kind = then, then = -1;
    }
};

struct Cmd {
    uint64_t oldPos, newAt, copy, extra;
};

struct Recorder : CommandSink {
    std::vector<Cmd> cmds;
    uint64_t at = 0;
    void Command(uint64_t oldPos, const uint8_t*, const uint8_t*, uint64_t copy, const uint8_t*,
                 uint64_t extra) override {
        cmds.push_back({oldPos, at, copy, extra});
        at += copy + extra;
    }
};

// deltamodel.h's CodeDiff itself: its first decision is the zero flag, every
// one after it the byte.
void Diff(CostCoder& c, Model& m, uint8_t oldByte, uint8_t diff) {
    c.kind = kZeroFlag;
    c.then = kDiffByte;
    core::delta::CodeDiff(c, m, oldByte, diff);
}

// As CodeDiffs (groups4), counted by kind.
void Diffs(CostCoder& c, Model& m, const uint8_t* old, const uint8_t* diffs, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        unsigned h = m.zeroHistory;
        unsigned quiet = (diffs[i] | diffs[i + 1] | diffs[i + 2] | diffs[i + 3]) == 0;
        const uint8_t* g = old + i;
        core::rc::Prob* const models[4] = {&m.quietByHistory[QuietHistory(m, h, m.prevOld, m.prevOld2)],
                                           &m.quietByPair[unsigned(m.prevOld) << 8 | g[0]],
                                           &m.quietByPair[QuietPair(g, 2)], &m.quietByPair[QuietPair(g, 3)]};
        c.kind = kGroupBit;
        core::mix::Code(c, models, m.quietMix[h & 15], !quiet, true);
        if (quiet) {
            const uint8_t before[3] = {old[i + 1], old[i + 2], old[i + 3]};
            SkipZeros(m, 4, before);
            continue;
        }
        for (size_t k = i; k < i + 4; k++) Diff(c, m, old[k], diffs[k]);
    }
    for (; i < n; i++) Diff(c, m, old[i], diffs[i]);
}

// One segment's stream, as Writer codes it.
struct Stream {
    CostCoder c;
    Model m;
    uint64_t oldPos = 0;
    Stream(uint64_t size) { m.Reset(size, Copies::groups4); }
    void Command(uint64_t oldPos, const uint8_t* o, const uint8_t* nu, uint64_t copy, const uint8_t* ex, uint64_t extra,
                 const uint8_t* exClass) {
        if (copy + extra == 0) return;
        bool negative = oldPos < this->oldPos;
        bool unused;
        c.kind = kSeek;
        CodeSeek(c, m, negative ? this->oldPos - oldPos : oldPos - this->oldPos, negative, &unused);
        c.kind = kCopyLen;
        CodeNumber(c, m.copy, copy);
        uint64_t i = 0;
        std::vector<uint8_t> diffs;
        while (i < copy) {
            uint64_t z = 0;
            while (i + z < copy && nu[i + z] == o[i + z]) z++;
            c.kind = kZeroRun;
            CodeNumber(c, m.zeroRun, z);
            if (z != 0) {
                const uint8_t* end = o + i + z;
                uint8_t before[3] = {z >= 3 ? end[-3] : uint8_t(0), z >= 2 ? end[-2] : uint8_t(0), end[-1]};
                SkipZeros(m, z, before);
            }
            i += z;
            if (i == copy) break;
            uint64_t e = i + 1;
            for (uint64_t j = e; j < copy;) {
                if (nu[j] != o[j]) {
                    e = ++j;
                    continue;
                }
                uint64_t k = j;
                while (k < copy && nu[k] == o[k]) k++;
                if (k - j >= kMinZeroRun || k == copy) break;
                j = k;
            }
            c.kind = kDirtyLen;
            CodeNumber(c, m.dirtyRun, e - i);
            diffs.resize(e - i);
            for (uint64_t k = i; k < e; k++) diffs[k - i] = uint8_t(nu[k] - o[k]);
            Diffs(c, m, o + i, diffs.data(), e - i);
            i = e;
        }
        c.kind = kExtraLen;
        CodeNumber(c, m.extra, extra);
        for (uint64_t k = 0; k < extra; k++) {
            c.kind = exClass[k] == 1 ? kLitNew : exClass[k] == 2 ? kLitOld : kLitNone;
            CodeLiteral(c, m, ex[k]);
        }
        this->oldPos = oldPos + copy;
    }
};

// class[i] for every new byte: 1 when new[i..] starts a match of 24 bytes or
// more with new bytes before it, else 2 when with old bytes, else 0 (found
// through 16-byte keys, the old file's every 8th and the new file's every
// 8th position before; a longer common run is always found, some
// shorter ones are).
std::vector<uint8_t> Classify(const std::vector<uint8_t>& old, const std::vector<uint8_t>& nu) {
    constexpr int kBits = 25;
    auto key = [](const uint8_t* p) {
        uint64_t a, b;
        memcpy(&a, p, 8);
        memcpy(&b, p + 8, 8);
        return uint32_t(((a * 0x9E3779B97F4A7C15ull) ^ (b * 0xC2B2AE3D27D4EB4Full)) >> (64 - kBits));
    };
    std::vector<int32_t> inOld(size_t(1) << kBits, -1), inNew(size_t(1) << kBits, -1);
    for (size_t p = 0; p + 16 <= old.size(); p += 8) inOld[key(&old[p])] = int32_t(p);
    std::vector<uint8_t> cls(nu.size(), 0);
    auto run = [](const uint8_t* a, size_t an, const uint8_t* b, size_t bn) {
        size_t n = std::min(an, bn), i = 0;
        while (i < n && a[i] == b[i]) i++;
        return i;
    };
    size_t covNew = 0, covOld = 0;
    for (size_t j = 0; j + 16 <= nu.size(); j++) {
        if (j % 8 == 0 && j >= 8) inNew[key(&nu[j - 8])] = int32_t(j - 8);
        uint32_t k = key(&nu[j]);
        int32_t q = inNew[k];
        if (q >= 0 && run(&nu[q], nu.size() - q, &nu[j], nu.size() - j) >= 24) {
            size_t l = run(&nu[q], nu.size() - q, &nu[j], nu.size() - j);
            for (size_t t = j; t < j + l && t < nu.size(); t++) cls[t] = 1;
        }
        if (cls[j] == 0) {
            q = inOld[k];
            if (q >= 0) {
                size_t l = run(&old[q], old.size() - q, &nu[j], nu.size() - j);
                if (l >= 24)
                    for (size_t t = j; t < j + l; t++)
                        if (cls[t] == 0) cls[t] = 2;
            }
        }
        covNew += cls[j] == 1;
        covOld += cls[j] == 2;
    }
    printf("new bytes: %zu; starting or inside a repeat of earlier new bytes: %zu; else of old bytes: %zu\n", nu.size(),
           covNew, covOld);
    return cls;
}

bool Read(const char* path, std::vector<uint8_t>* out) {
    patchbuild::Fd fd = patchbuild::OpenRead(path);
    uint64_t size;
    if (!fd.ok() || !patchbuild::FileSize(fd.get(), &size)) return false;
    out->resize(size);
    return patchbuild::ReadAt(fd.get(), 0, out->data(), size);
}

struct Reader : core::delta::OldReader {
    const std::vector<uint8_t>& b;
    explicit Reader(const std::vector<uint8_t>& bytes) : b(bytes) {}
    bool ReadAt(uint64_t offset, void* buf, size_t n) override {
        if (offset > b.size() || n > b.size() - offset) return false;
        memcpy(buf, b.data() + offset, n);
        return true;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: deltaprofile OLD NEW [SEGMENTS...]\n");
        return 2;
    }
    std::vector<uint8_t> old, nu;
    if (!Read(argv[1], &old) || !Read(argv[2], &nu)) {
        fprintf(stderr, "deltaprofile: cannot read the files\n");
        return 1;
    }
    // DELTAPROFILE_CACHE=FILE keeps the matcher's results (its map and
    // commands) for the next run on the same pair: the matcher is most of
    // the time.
    const char* cache = getenv("DELTAPROFILE_CACHE");
    core::x86::Map map;
    core::x86::Image newImage;
    Reader oldReader(old), newReader(nu);
    std::vector<uint8_t> base = old;
    Recorder rec;
    bool image =
        core::x86::ReadImage(oldReader, old.size(), &map.old) && core::x86::ReadImage(newReader, nu.size(), &newImage);
    FILE* f = cache ? fopen(cache, "rb") : nullptr;
    if (f != nullptr) {
        uint64_t n[2];
        if (fread(n, 8, 2, f) != 2) return 1;
        map.segments.resize(n[0]);
        rec.cmds.resize(n[1]);
        if (fread(map.segments.data(), sizeof(core::x86::Segment), n[0], f) != n[0] ||
            fread(rec.cmds.data(), sizeof(Cmd), n[1], f) != n[1])
            return 1;
        fclose(f);
    } else {
        Recorder first;
        std::vector<core::x86::Segment> copies;
        patchbuild::DiffWindow(old.data(), old.size(), 0, nu.data(), nu.size(), first, &copies);
        if (image) map.segments = patchbuild::Disjoint(std::move(copies));
        rec = first;
    }
    if (image) {
        map.newBase = newImage.base;
        map.newSections = newImage.sections;
        core::x86::Rewrite(map, old.data(), 0, old.size(), 0, base.data(), old.size());
        if (f == nullptr) {
            rec = Recorder();
            patchbuild::DiffWindow(base.data(), base.size(), 0, nu.data(), nu.size(), rec);
        }
        printf("x86 rewrite: %zu map segments\n", map.segments.size());
    }
    if (cache != nullptr && f == nullptr && (f = fopen(cache, "wb")) != nullptr) {
        uint64_t n[2] = {map.segments.size(), rec.cmds.size()};
        fwrite(n, 8, 2, f);
        fwrite(map.segments.data(), sizeof(core::x86::Segment), n[0], f);
        fwrite(rec.cmds.data(), sizeof(Cmd), n[1], f);
        fclose(f);
    }
    uint64_t copied = 0, extra = 0, far = 0;
    uint64_t last = 0;
    for (const Cmd& c : rec.cmds) {
        copied += c.copy;
        extra += c.extra;
        if ((c.oldPos > last ? c.oldPos - last : last - c.oldPos) >= (1u << 20)) far++;
        last = c.oldPos + c.copy;
    }
    printf("commands %zu (seeks of 1 MiB or more: %llu), copied bytes %llu, literal bytes %llu\n", rec.cmds.size(),
           (unsigned long long)far, (unsigned long long)copied, (unsigned long long)extra);
    std::vector<uint8_t> cls = Classify(base, nu);
    uint64_t litNew = 0, litOld = 0;
    for (const Cmd& c : rec.cmds)
        for (uint64_t k = 0; k < c.extra; k++) {
            litNew += cls[c.newAt + c.copy + k] == 1;
            litOld += cls[c.newAt + c.copy + k] == 2;
        }
    printf("literal bytes in a repeat of new bytes: %llu, of old bytes: %llu\n", (unsigned long long)litNew,
           (unsigned long long)litOld);
    for (int a = 3; a < argc; a++) {
        uint32_t count = uint32_t(atoi(argv[a]));
        if (count == 0) count = core::segments::CountFor(nu.size());
        double bits[kKinds] = {};
        size_t ci = 0;
        uint64_t at = 0;
        std::vector<Cmd> cmds = rec.cmds;
        for (uint32_t s = 0; s < count; s++) {
            uint64_t end = nu.size() * (s + 1) / count;
            auto stream = std::make_unique<Stream>(end - at);
            while (ci < cmds.size() && cmds[ci].newAt < end) {
                Cmd& c = cmds[ci];
                uint64_t cp = std::min(c.copy, end - c.newAt);
                uint64_t ex = std::min(c.extra, end - c.newAt - cp);
                stream->Command(c.oldPos, &base[c.oldPos], &nu[c.newAt], cp, &nu[c.newAt + cp], ex, &cls[c.newAt + cp]);
                if (cp + ex == c.copy + c.extra) {
                    ci++;
                } else {
                    c.oldPos += cp;
                    c.newAt += cp + ex;
                    c.copy -= cp;
                    c.extra -= ex;
                }
            }
            for (int k = 0; k < kKinds; k++) bits[k] += stream->c.bits[k];
            at = end;
        }
        double total = 0;
        for (double b : bits) total += b;
        printf("%u segment(s): %.0f bytes\n", count, total / 8);
        for (int k = 0; k < kKinds; k++) printf("  %-24s %10.0f bytes\n", kNames[k], bits[k] / 8);
    }
    return 0;
}
