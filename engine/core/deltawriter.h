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

namespace core::delta {

class Writer {
public:
    // newSize: the size of the new file the stream makes, as Apply is told
    // (it sizes the literal model). minZeroRun: the shortest run of zero
    // diff bytes coded as a run (see CopyBody); UINT64_MAX codes every copy
    // byte by byte (Apply's runs = false), which models small files a little
    // better and decodes slower.
    Writer(OutStream& out, uint64_t newSize, uint64_t minZeroRun = kMinZeroRun);
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
    uint64_t minZeroRun_;
    std::vector<uint8_t> diffs_;  // the dirty span being coded
};

}  // namespace core::delta
