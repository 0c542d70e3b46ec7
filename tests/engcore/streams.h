// In-memory streams for the engine tests. They fail the test (not just the
// call) when Apply reaches outside what it was given: that is the property
// under test for damaged input.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "delta.h"
#include "segments.h"

namespace enginetest {

using Bytes = std::vector<uint8_t>;

class BytesOld : public core::delta::OldReader {
public:
    explicit BytesOld(const Bytes& b) : b_(b) {}
    bool ReadAt(uint64_t offset, void* buf, size_t n) override {
        EXPECT_LE(offset, b_.size());
        EXPECT_LE(n, b_.size() - offset);
        if (offset > b_.size() || n > b_.size() - offset) return false;
        if (n != 0) memcpy(buf, b_.data() + offset, n);
        return true;
    }

private:
    const Bytes& b_;
};

class BytesIn : public core::delta::InStream {
public:
    BytesIn(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool Read(void* buf, size_t n) override {
        EXPECT_LE(n, n_ - at_) << "read past the delta stream";
        if (n > n_ - at_) return false;
        memcpy(buf, p_ + at_, n);
        at_ += n;
        return true;
    }

private:
    const uint8_t* p_;
    size_t n_, at_ = 0;
};

class BytesOut : public core::delta::OutStream {
public:
    explicit BytesOut(uint64_t limit = UINT64_MAX) : limit_(limit) {}
    bool Write(const void* buf, size_t n) override {
        EXPECT_LE(n, limit_ - b.size()) << "wrote past the new size";
        auto* p = static_cast<const uint8_t*>(buf);
        b.insert(b.end(), p, p + n);
        return true;
    }
    Bytes b;

private:
    uint64_t limit_;
};

inline core::delta::Result ApplyBytes(const Bytes& old, const uint8_t* d, size_t dn, uint64_t newSize, Bytes* out,
                                      core::delta::Copies copies = core::delta::Copies::groups4) {
    BytesOld o(old);
    BytesIn in(d, dn);
    BytesOut sink(newSize);
    core::delta::Result r = core::delta::Apply(o, old.size(), in, dn, sink, newSize, copies);
    out->swap(sink.b);
    return r;
}

// A segmented delta's files in memory, for segments::Apply on any number of
// threads: each thread reads through its own readers, and writes land in
// disjoint ranges of `out` (sized newSize), checked to stay inside it.
class BytesIo : public core::segments::Io {
public:
    BytesIo(const Bytes& old, const uint8_t* data, size_t n, uint64_t newSize) : old_(old), data_(data), n_(n) {
        out.resize(newSize);
    }
    std::unique_ptr<core::delta::OldReader> Old() override { return std::make_unique<BytesOld>(old_); }
    std::unique_ptr<core::delta::InStream> Data(uint64_t offset, uint64_t n) override {
        EXPECT_LE(offset + n, n_);
        return std::make_unique<BytesIn>(data_ + offset, size_t(n));
    }
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override {
        EXPECT_LE(offset, out.size());
        EXPECT_LE(n, out.size() - offset) << "wrote past the new size";
        if (offset > out.size() || n > out.size() - offset) return false;
        memcpy(out.data() + offset, buf, n);
        return true;
    }
    Bytes out;

private:
    const Bytes& old_;
    const uint8_t* data_;
    size_t n_;
};

inline core::delta::Result ApplySegmented(const Bytes& old, const uint8_t* d, size_t dn, uint64_t newSize,
                                          unsigned threads, Bytes* out,
                                          core::delta::Copies copies = core::delta::Copies::groups4) {
    BytesIo io(old, d, dn, newSize);
    core::delta::Result r = core::segments::Apply(io, old.size(), 0, dn, newSize, copies, threads);
    out->swap(io.out);
    return r;
}

}  // namespace enginetest
