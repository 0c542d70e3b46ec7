// In-memory streams for the engine tests. They fail the test (not just the
// call) when Apply reaches outside what it was given: that is the property
// under test for damaged input.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "delta.h"

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
                                      bool runs = true) {
    BytesOld o(old);
    BytesIn in(d, dn);
    BytesOut sink(newSize);
    core::delta::Result r = core::delta::Apply(o, old.size(), in, dn, sink, newSize, runs);
    out->swap(sink.b);
    return r;
}

}  // namespace enginetest
