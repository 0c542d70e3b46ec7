// Apply: decodes the command stream described in deltamodel.h. Memory is the
// model (ModelBytes: 2 MiB and the tables that grow with the new file's
// size) and two 256 KiB buffers, never more whatever the file sizes.
#include "delta.h"

#include <memory>
#include <vector>

#include "deltamodel.h"

namespace core::delta {

namespace {

constexpr size_t kChunk = 256 * 1024;

// Collects new bytes and hands them to the OutStream a chunk at a time.
class Output {
public:
    explicit Output(OutStream& out) : out_(out), buf_(kChunk) {}
    uint8_t* Space(size_t* n) {
        *n = buf_.size() - fill_;
        return buf_.data() + fill_;
    }
    bool Commit(size_t n) {
        fill_ += n;
        return fill_ < buf_.size() || Flush();
    }
    bool Flush() {
        if (fill_ != 0 && !out_.Write(buf_.data(), fill_)) return false;
        fill_ = 0;
        return true;
    }

private:
    OutStream& out_;
    std::vector<uint8_t> buf_;
    size_t fill_ = 0;
};

struct Decoding {
    OldReader& old;
    uint64_t oldSize;
    rc::Decoder coder;
    Output out;
    std::unique_ptr<Model> model;  // megabytes: kept off the stack
    std::vector<uint8_t> oldBuf;
    uint64_t oldPos = 0;
    uint64_t made = 0;
    bool runs = false;  // copies coded as zero runs and dirty spans, not byte by byte
};

Result CoderState(const Decoding& d) {
    if (d.coder.readFailed()) return Result::readError;
    if (d.coder.overrun()) return Result::corrupt;
    return Result::ok;
}

// `n` old bytes from d.oldPos as they are: a zero run, read straight into
// the output buffer with nothing decoded.
Result Plain(Decoding& d, uint64_t n) {
    uint8_t before[3] = {};  // the run's last three bytes, newest last
    for (uint64_t left = n; left > 0;) {
        size_t room;
        uint8_t* dst = d.out.Space(&room);
        size_t step = left < room ? size_t(left) : room;
        if (!d.old.ReadAt(d.oldPos, dst, step)) return Result::readError;
        for (size_t k = step < 3 ? step : 3; k > 0; k--) {
            before[0] = before[1];
            before[1] = before[2];
            before[2] = dst[step - k];
        }
        if (!d.out.Commit(step)) return Result::writeError;
        d.oldPos += step;
        left -= step;
    }
    SkipZeros(*d.model, n, before);
    return Result::ok;
}

// A dirty span: `n` bytes of old file from d.oldPos plus decoded diff
// bytes, in groups of four (see CodeDiffs) when the stream codes zero runs,
// else byte by byte.
Result Dirty(Decoding& d, uint64_t n) {
    while (n > 0) {
        size_t room;
        uint8_t* dst = d.out.Space(&room);
        if (room < 4 && room < n) {
            if (!d.out.Flush()) return Result::writeError;
            dst = d.out.Space(&room);
        }
        size_t step = n < room ? size_t(n) : room;
        if (step > d.oldBuf.size()) step = d.oldBuf.size();
        if (step < n) step &= ~size_t(3);
        if (!d.old.ReadAt(d.oldPos, d.oldBuf.data(), step)) return Result::readError;
        const uint8_t* o = d.oldBuf.data();
        if (d.runs) {
            CodeDiffs(d.coder, *d.model, o, nullptr, dst, step);
        } else {
            for (size_t i = 0; i < step; i++) {
                // The old bytes ahead are known, so is the line of zeroByOld2
                // (1 MiB) that byte i + 4 will use: fetched now, it is in
                // cache by then.
                if (i + 4 < step)
                    __builtin_prefetch(&d.model->zeroByOld2[unsigned(o[i + 3]) << 2 | unsigned(o[i + 2]) << 10]);
                dst[i] = uint8_t(o[i] + CodeDiff(d.coder, *d.model, o[i], 0));
            }
        }
        Result r = CoderState(d);
        if (r != Result::ok) return r;
        if (!d.out.Commit(step)) return Result::writeError;
        d.oldPos += step;
        n -= step;
    }
    return Result::ok;
}

// A copy of `n` bytes: zero runs and dirty spans in turn (see
// Writer::CopyBody); each length is checked against what is left of the copy.
Result Copy(Decoding& d, uint64_t n) {
    if (!d.runs) return Dirty(d, n);
    for (uint64_t left = n; left > 0;) {
        uint64_t zeros = CodeNumber(d.coder, d.model->zeroRun, 0);
        Result r = CoderState(d);
        if (r != Result::ok) return r;
        if (zeros > left) return Result::corrupt;
        if (zeros != 0 && (r = Plain(d, zeros)) != Result::ok) return r;
        left -= zeros;
        if (left == 0) break;
        uint64_t dirty = CodeNumber(d.coder, d.model->dirtyRun, 0);
        if ((r = CoderState(d)) != Result::ok) return r;
        if (dirty == 0 || dirty > left) return Result::corrupt;
        if ((r = Dirty(d, dirty)) != Result::ok) return r;
        left -= dirty;
    }
    return Result::ok;
}

Result Literals(Decoding& d, uint64_t n) {
    while (n > 0) {
        size_t room;
        uint8_t* dst = d.out.Space(&room);
        size_t step = n < room ? size_t(n) : room;
        for (size_t i = 0; i < step; i++) dst[i] = CodeLiteral(d.coder, *d.model, 0);
        Result r = CoderState(d);
        if (r != Result::ok) return r;
        if (!d.out.Commit(step)) return Result::writeError;
        n -= step;
    }
    return Result::ok;
}

// One command; every length is checked against what is left before a byte
// of it is made.
Result Command(Decoding& d, uint64_t newSize) {
    bool negative;
    uint64_t seek = CodeSeek(d.coder, *d.model, 0, false, &negative);
    if (negative ? seek > d.oldPos : seek > d.oldSize - d.oldPos) return Result::corrupt;
    d.oldPos = negative ? d.oldPos - seek : d.oldPos + seek;
    uint64_t copy = CodeNumber(d.coder, d.model->copy, 0);
    uint64_t left = newSize - d.made;
    if (copy > left || copy > d.oldSize - d.oldPos) return Result::corrupt;
    Result r = CoderState(d);
    if (r == Result::ok) r = Copy(d, copy);
    if (r != Result::ok) return r;
    uint64_t extra = CodeNumber(d.coder, d.model->extra, 0);
    if (extra > left - copy || copy + extra == 0) return Result::corrupt;
    r = CoderState(d);
    if (r == Result::ok) r = Literals(d, extra);
    d.made += copy + extra;
    return r;
}

}  // namespace

Result Apply(OldReader& old, uint64_t oldSize, InStream& delta, uint64_t deltaSize, OutStream& out, uint64_t newSize,
             Copies copies) {
    Decoding d{old,
               oldSize,
               rc::Decoder(delta, deltaSize),
               Output(out),
               std::make_unique<Model>(),
               std::vector<uint8_t>(kChunk)};
    d.model->Reset(newSize, copies);
    d.runs = Runs(copies);
    if (!d.coder.Start()) return d.coder.readFailed() ? Result::readError : Result::corrupt;
    while (d.made < newSize) {
        Result r = Command(d, newSize);
        if (r != Result::ok) return r;
    }
    // A whole stream is consumed exactly; bytes left over mean a damaged one.
    if (!d.coder.AtEnd()) return Result::corrupt;
    return d.out.Flush() ? Result::ok : Result::writeError;
}

const char* ResultText(Result r) {
    switch (r) {
    case Result::ok: return "ok";
    case Result::corrupt: return "delta stream is damaged";
    case Result::readError: return "cannot read";
    case Result::writeError: return "cannot write";
    }
    return "unknown";
}

}  // namespace core::delta
