// The builder's side of a delta stream: codes commands in the layout that
// Apply reads (deltamodel.h). Pure computation over the caller's buffers; the
// coded bytes go to an OutStream.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "delta.h"
#include "deltamodel.h"
#include "rangecoder.h"
#include "segments.h"

namespace core::delta {

class Writer {
public:
    // newSize: the size of the new file the stream makes, as Apply is told
    // (it sizes the model). copies: Copies::bytes codes every copy byte by
    // byte, which models small files a little better and decodes slower.
    Writer(OutStream& out, uint64_t newSize, Copies copies = Copies::groups4);
    // Makes `copy` new bytes as old[oldPos + i] + (newBytes[i] - oldBytes[i]),
    // where oldBytes points at the old file's byte oldPos, then `extra` bytes
    // as they are. Commands that make nothing are dropped: the next one's seek
    // covers their move.
    void Command(uint64_t oldPos, const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy,
                 const uint8_t* extraBytes, uint64_t extra);
    // Ends the stream; false when a write to the OutStream failed.
    bool Finish();
    uint64_t BytesWritten() const { return coder_.BytesWritten(); }

private:
    void CopyBody(const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy);
    // Codes the diff bytes of a dirty span in groups (see CodeDiffs).
    void Span(const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t n);
    rc::Encoder coder_;
    std::unique_ptr<Model> model_;  // see Model
    uint64_t oldPos_ = 0;
    bool runs_;
    std::vector<uint8_t> diffs_;  // the dirty span being coded
};

// Where a matcher's commands go (SegmentWriter; a profiler's recorder).
class CommandSink {
public:
    // As Writer::Command, in the new file's order.
    virtual void Command(uint64_t oldPos, const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy,
                         const uint8_t* extraBytes, uint64_t extra) = 0;

protected:
    ~CommandSink() = default;
};

// The builder's side of a segmented delta (segments.h): takes the commands
// of one new file as Writer does, in the new file's order, cuts the file
// into segments of equal size (a command that crosses a segment's end is
// cut in two there) and codes each with a Writer of its own. The coded
// segments stay in memory (they are the patch's bytes, small) until Finish
// writes the table and them.
class SegmentWriter : public CommandSink {
public:
    // segments: how many, 0 for segments::CountFor(newSize); when that is
    // one, a single stream is written as Writer writes it, without a table
    // (Segmented() is false).
    SegmentWriter(OutStream& out, uint64_t newSize, Copies copies = Copies::groups4, uint32_t segments = 0);
    bool Segmented() const { return table_.size() > 1 || explicit_; }
    void Command(uint64_t oldPos, const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy,
                 const uint8_t* extraBytes, uint64_t extra) override;
    // Ends the last segment and writes everything; false when a write failed.
    bool Finish();
    uint64_t BytesWritten() const { return written_; }

private:
    struct Buffer : OutStream {
        std::vector<uint8_t> b;
        bool Write(const void* buf, size_t n) override;
    };
    void Start(size_t k);
    OutStream& out_;
    Copies copies_;
    std::vector<segments::Segment> table_;
    std::vector<Buffer> coded_;
    std::unique_ptr<Writer> writer_;  // the current segment's
    size_t current_ = 0;
    uint64_t left_ = 0;  // new bytes the current segment still makes
    uint64_t written_ = 0;
    bool failed_ = false;
    bool explicit_;  // a count was asked for: a table even for one segment
};

}  // namespace core::delta
