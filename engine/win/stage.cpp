#include "stage.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "delta.h"
#include "segments.h"
#include "sha256.h"
#include "source.h"
#include "x86.h"

namespace eng {

namespace {

constexpr size_t kWriteBuffer = 1 << 20;
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

// The new file as it is made: buffered, hashed, and never longer than the
// size the patch records for it.
class CheckedWriter : public core::delta::OutStream {
public:
    CheckedWriter(const File& file, uint64_t limit) : file_(file), limit_(limit), buf_(kWriteBuffer) {}
    bool Write(const void* data, size_t n) override {
        if (n > limit_ - written_) {
            overflow_ = true;
            ::SetLastError(ERROR_INVALID_DATA);
            return false;
        }
        sha_.Update(data, n);
        written_ += n;
        if (fill_ + n > buf_.size() && !Drain()) return false;
        if (n >= buf_.size()) return file_.Write(data, n);
        std::memcpy(buf_.data() + fill_, data, n);
        fill_ += n;
        return true;
    }
    bool Drain() {
        if (fill_ != 0 && !file_.Write(buf_.data(), fill_)) return false;
        fill_ = 0;
        return true;
    }
    // The digest of everything written; false when writing out what is
    // still buffered fails.
    bool Finish(core::sha256::Digest* d) {
        if (!Drain()) return false;
        *d = sha_.Finish();
        return true;
    }
    uint64_t Written() const { return written_; }
    bool Overflowed() const { return overflow_; }

private:
    const File& file_;
    uint64_t limit_;
    uint64_t written_ = 0;
    bool overflow_ = false;
    core::sha256::Sha256 sha_;
    std::vector<uint8_t> buf_;
    size_t fill_ = 0;
};

bool Fail(Failure* f, Code c, DWORD sys) {
    f->code = c;
    f->sys = sys;
    return false;
}

bool CopyStored(const core::patchfile::Entry& e, const File& patch, CheckedWriter& out, Failure* f) {
    if (e.dataLength != e.newSize) return Fail(f, Code::dataDamaged, 0);
    RangeReader in(patch, e.dataOffset, e.dataLength);
    std::vector<uint8_t> buf(kWriteBuffer);
    for (uint64_t left = e.dataLength; left > 0;) {
        size_t step = size_t(left < buf.size() ? left : buf.size());
        if (!in.Read(buf.data(), step)) return Fail(f, Code::patchRead, ::GetLastError());
        if (!out.Write(buf.data(), step)) return Fail(f, Code::fileWrite, ::GetLastError());
        left -= step;
    }
    return true;
}

// The old file of a change, checked to have the recorded size; none for an
// added file, whose delta is against an empty old file.
bool OpenOld(const Tree& tree, const Step& s, const core::patchfile::Entry& e, File* old, uint64_t* oldSize,
             Failure* f) {
    *oldSize = 0;
    if (e.kind == core::patchfile::Kind::addFile) return true;
    if (!old->OpenRead(tree.Full(s.path))) {
        DWORD code = ::GetLastError();
        return Fail(f, code == ERROR_SHARING_VIOLATION ? Code::fileInUse : Code::fileRead, code);
    }
    if (!old->Size(oldSize)) return Fail(f, Code::fileRead, ::GetLastError());
    if (*oldSize != e.oldSize) return Fail(f, Code::unexpectedContent, 0);
    return true;
}

bool Decoded(core::delta::Result r, const CheckedWriter* out, Failure* f) {
    switch (r) {
    case core::delta::Result::ok: return true;
    case core::delta::Result::corrupt: return Fail(f, Code::dataDamaged, 0);
    case core::delta::Result::readError: return Fail(f, Code::fileRead, ::GetLastError());
    case core::delta::Result::writeError:
        if (out != nullptr && out->Overflowed()) return Fail(f, Code::dataDamaged, 0);
        return Fail(f, Code::fileWrite, ::GetLastError());
    }
    return Fail(f, Code::dataDamaged, 0);
}

// One stream (format 3, or a format-4 delta of one segment), decoded in
// order through the checked writer.
bool ApplyDelta(const Tree& tree, const Step& s, const core::patchfile::Entry& e, const PatchSource& patch,
                CheckedWriter& out, Failure* f) {
    File old;
    uint64_t oldSize;
    if (!OpenOld(tree, s, e, &old, &oldSize, f)) return false;
    WindowReader oldReader(old, oldSize);
    RangeReader in(patch.Data(), e.dataOffset, e.dataLength);
    core::delta::Result r = e.method == core::patchfile::Method::x86
                                ? core::x86::Apply(oldReader, oldSize, in, e.dataLength, out, e.newSize,
                                                   core::patchfile::DeltaCopies(patch.Version(), e.method))
                                : core::delta::Apply(oldReader, oldSize, in, e.dataLength, out, e.newSize,
                                                     core::patchfile::DeltaCopies(patch.Version(), e.method));
    return Decoded(r, &out, f);
}

// Decoding threads: one per processor, or DVPATCH_THREADS when set (the
// benchmark compares one and two).
unsigned DecodeThreads() {
    wchar_t v[16];
    DWORD n = ::GetEnvironmentVariableW(L"DVPATCH_THREADS", v, 16);
    if (n > 0 && n < 16 && _wtoi(v) > 0) return unsigned(_wtoi(v));
    SYSTEM_INFO si;
    ::GetSystemInfo(&si);
    return si.dwNumberOfProcessors > 0 ? unsigned(si.dwNumberOfProcessors) : 1;
}

// The files as the decoding threads see them: each thread reads through
// readers of its own and writes its segment in place. A File's reads and
// writes move its file pointer, so one lock takes every call to the system
// in turn (each moves 64 KiB to 1 MiB; reads served from a reader's buffer
// take no lock). Positional calls (an OVERLAPPED offset) would need no
// lock, but under Wine they made an 11 MB program's apply 0.15 s slower.
// GetLastError belongs to the thread that failed: the first code any thread
// met is kept for the log.
class StageIo : public core::segments::Io {
public:
    StageIo(const File& old, uint64_t oldSize, const File& patch, const File& out)
        : old_(old), oldSize_(oldSize), patch_(patch), out_(out) {}
    std::unique_ptr<core::delta::OldReader> Old() override { return std::make_unique<OldIn>(*this); }
    std::unique_ptr<core::delta::InStream> Data(uint64_t offset, uint64_t n) override {
        return std::make_unique<DataIn>(*this, offset, n);
    }
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override {
        std::lock_guard<std::mutex> hold(lock_);
        return out_.WriteAt(offset, buf, n) || Keep();
    }
    DWORD FirstError() const { return error_.load(); }

private:
    bool Keep() {
        DWORD none = 0;
        error_.compare_exchange_strong(none, ::GetLastError());
        return false;
    }
    struct OldIn : core::delta::OldReader {
        explicit OldIn(StageIo& io) : io(io), reader(io.old_, io.oldSize_, &io.lock_) {}
        bool ReadAt(uint64_t offset, void* buf, size_t n) override {
            return reader.ReadAt(offset, buf, n) || io.Keep();
        }
        StageIo& io;
        WindowReader reader;
    };
    struct DataIn : core::delta::InStream {
        DataIn(StageIo& io, uint64_t offset, uint64_t n) : io(io), reader(io.patch_, offset, n, &io.lock_) {}
        bool Read(void* buf, size_t n) override { return reader.Read(buf, n) || io.Keep(); }
        StageIo& io;
        RangeReader reader;
    };
    const File& old_;
    uint64_t oldSize_;
    const File& patch_;
    const File& out_;
    std::mutex lock_;
    std::atomic<DWORD> error_{0};
};

// A segmented delta (format 4): the segments decoded side by side, each
// written in place; the new file is then read back to be hashed in order.
bool ApplySegments(const Tree& tree, const Step& s, const core::patchfile::Entry& e, const PatchSource& patch,
                   const File& file, core::sha256::Digest* d, Failure* f) {
    File old;
    uint64_t oldSize;
    if (!OpenOld(tree, s, e, &old, &oldSize, f)) return false;
    StageIo io(old, oldSize, patch.Data(), file);
    unsigned threads = DecodeThreads();
    core::delta::Result r =
        e.method == core::patchfile::Method::x86
            ? core::x86::ApplySegments(io, oldSize, e.dataOffset, e.dataLength, e.newSize, threads)
            : core::segments::Apply(io, oldSize, e.dataOffset, e.dataLength, e.newSize,
                                    core::patchfile::DeltaCopies(patch.Version(), e.method), threads);
    if (r != core::delta::Result::ok) {
        ::SetLastError(io.FirstError());
        return Decoded(r, nullptr, f);
    }
    core::sha256::Sha256 sha;
    std::vector<uint8_t> buf(kWriteBuffer);
    for (uint64_t at = 0; at < e.newSize;) {
        size_t step = size_t(e.newSize - at < buf.size() ? e.newSize - at : buf.size());
        if (!file.ReadAt(at, buf.data(), step)) return Fail(f, Code::fileRead, ::GetLastError());
        sha.Update(buf.data(), step);
        at += step;
    }
    *d = sha.Finish();
    return true;
}

}  // namespace

bool StageFile(const Tree& tree, const Step& s, const core::patchfile::Entry& e, const PatchSource& patch, Failure* f) {
    std::wstring work = tree.Work(s);
    File file;
    if (!file.CreateNew(work)) {
        DWORD code = ::GetLastError();
        return Fail(f, code == ERROR_FILE_EXISTS ? Code::nameTaken : Code::fileWrite, code);
    }
    CheckedWriter out(file, e.newSize);
    core::sha256::Digest d;
    if (e.segmented) {
        if (!ApplySegments(tree, s, e, patch, file, &d, f)) return false;
    } else {
        bool made = e.method == core::patchfile::Method::stored ? CopyStored(e, patch.Data(), out, f)
                                                                : ApplyDelta(tree, s, e, patch, out, f);
        if (!made) return false;
        if (!out.Finish(&d)) return Fail(f, Code::fileWrite, ::GetLastError());
        if (out.Written() != e.newSize) return Fail(f, Code::resultMismatch, 0);
    }
    if (std::memcmp(d.bytes, e.newSha, 32) != 0) return Fail(f, Code::resultMismatch, 0);
    // On disk before it can replace anything: a crash after the move must not
    // leave a target whose blocks never reached the disk.
    if (!file.Flush()) return Fail(f, Code::fileWrite, ::GetLastError());
    file.Close();
    DWORD attributes = s.attributes & kKeptAttributes;
    if (attributes != 0 && !::SetFileAttributesW(work.c_str(), attributes))
        return Fail(f, Code::fileWrite, ::GetLastError());
    return true;
}

}  // namespace eng
