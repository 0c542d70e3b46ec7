#include "deltawriter.h"

namespace core::delta {

Writer::Writer(OutStream& out, uint64_t newSize, Copies copies)
    : coder_(out), model_(std::make_unique<Model>()), runs_(Runs(copies)) {
    model_->Reset(newSize, copies);
}

void Writer::Command(uint64_t oldPos, const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy,
                     const uint8_t* extraBytes, uint64_t extra) {
    if (copy + extra == 0) return;
    bool negative = oldPos < oldPos_;
    bool unused;
    CodeSeek(coder_, *model_, negative ? oldPos_ - oldPos : oldPos - oldPos_, negative, &unused);
    CodeNumber(coder_, model_->copy, copy);
    CopyBody(oldBytes, newBytes, copy);
    CodeNumber(coder_, model_->extra, extra);
    for (uint64_t i = 0; i < extra; i++) CodeLiteral(coder_, *model_, extraBytes[i]);
    oldPos_ = oldPos + copy;
}

// Splits the copy into zero runs, which Apply makes as plain copies of the
// old bytes, and dirty spans coded byte by byte. A dirty span starts and ends
// with a non-zero diff byte and takes in zero runs shorter than
// kMinZeroRun, which cost less inside the span than as a run of their own.
void Writer::CopyBody(const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy) {
    if (!runs_) {
        for (uint64_t i = 0; i < copy; i++) CodeDiff(coder_, *model_, oldBytes[i], uint8_t(newBytes[i] - oldBytes[i]));
        return;
    }
    uint64_t i = 0;
    while (i < copy) {
        uint64_t z = 0;
        while (i + z < copy && newBytes[i + z] == oldBytes[i + z]) z++;
        CodeNumber(coder_, model_->zeroRun, z);
        if (z != 0) {
            const uint8_t* end = oldBytes + i + z;
            uint8_t before[3] = {z >= 3 ? end[-3] : uint8_t(0), z >= 2 ? end[-2] : uint8_t(0), end[-1]};
            SkipZeros(*model_, z, before);
        }
        i += z;
        if (i == copy) break;
        uint64_t end = i + 1;
        for (uint64_t j = end; j < copy;) {
            if (newBytes[j] != oldBytes[j]) {
                end = ++j;
                continue;
            }
            uint64_t k = j;
            while (k < copy && newBytes[k] == oldBytes[k]) k++;
            if (k - j >= kMinZeroRun || k == copy) break;
            j = k;
        }
        CodeNumber(coder_, model_->dirtyRun, end - i);
        Span(oldBytes + i, newBytes + i, end - i);
        i = end;
    }
}

// In pieces of whole groups of four, as CodeDiffs asks.
void Writer::Span(const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t n) {
    constexpr size_t kPiece = 1 << 16;
    diffs_.resize(kPiece);
    for (uint64_t at = 0; at < n; at += kPiece) {
        size_t len = size_t(n - at < kPiece ? n - at : kPiece);
        for (size_t k = 0; k < len; k++) diffs_[k] = uint8_t(newBytes[at + k] - oldBytes[at + k]);
        CodeDiffs(coder_, *model_, oldBytes + at, diffs_.data(), nullptr, len);
    }
}

bool Writer::Finish() { return coder_.Finish(); }

bool SegmentWriter::Buffer::Write(const void* buf, size_t n) {
    auto* p = static_cast<const uint8_t*>(buf);
    b.insert(b.end(), p, p + n);
    return true;
}

SegmentWriter::SegmentWriter(OutStream& out, uint64_t newSize, Copies copies, uint32_t segments)
    : out_(out), copies_(copies), explicit_(segments != 0) {
    uint32_t n = segments != 0 ? segments : segments::CountFor(newSize);
    for (uint32_t k = 0; k < n; k++) table_.push_back({newSize * (k + 1) / n - newSize * k / n, 0});
    coded_.resize(n);
    Start(0);
}

void SegmentWriter::Start(size_t k) {
    current_ = k;
    left_ = table_[k].newSize;
    // A single stream goes straight out.
    writer_ = std::make_unique<Writer>(Segmented() ? static_cast<OutStream&>(coded_[k]) : out_, left_, copies_);
}

void SegmentWriter::Command(uint64_t oldPos, const uint8_t* oldBytes, const uint8_t* newBytes, uint64_t copy,
                            const uint8_t* extraBytes, uint64_t extra) {
    while (copy + extra > left_ && current_ + 1 < table_.size()) {
        uint64_t c = copy < left_ ? copy : left_, e = left_ - c;
        writer_->Command(oldPos, oldBytes, newBytes, c, extraBytes, e);
        failed_ |= !writer_->Finish();
        Start(current_ + 1);
        oldPos += c;
        oldBytes += c;
        newBytes += c;
        copy -= c;
        extraBytes += e;
        extra -= e;
    }
    writer_->Command(oldPos, oldBytes, newBytes, copy, extraBytes, extra);
    left_ -= copy + extra < left_ ? copy + extra : left_;
}

bool SegmentWriter::Finish() {
    // Segments no command reached (a new file smaller than the count) end
    // empty; each is still a stream of its own.
    for (;;) {
        failed_ |= !writer_->Finish();
        if (current_ + 1 == table_.size()) break;
        Start(current_ + 1);
    }
    if (!Segmented()) {
        written_ = writer_->BytesWritten();
        writer_.reset();
        return !failed_;
    }
    writer_.reset();
    for (size_t k = 0; k < table_.size(); k++) table_[k].codedSize = coded_[k].b.size();
    std::vector<uint8_t> head = segments::WriteTable(table_);
    failed_ |= !out_.Write(head.data(), head.size());
    written_ = head.size();
    for (Buffer& b : coded_) {
        failed_ |= !b.b.empty() && !out_.Write(b.b.data(), b.b.size());
        written_ += b.b.size();
        std::vector<uint8_t>().swap(b.b);
    }
    return !failed_;
}

}  // namespace core::delta
