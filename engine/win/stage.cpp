#include "stage.h"

#include <cstring>
#include <vector>

#include "delta.h"
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

bool ApplyDelta(const Tree& tree, const Step& s, const core::patchfile::Entry& e, const File& patch, CheckedWriter& out,
                Failure* f) {
    File old;
    uint64_t oldSize = 0;
    // An added file's delta is against an empty old file: there is none to open.
    if (e.kind != core::patchfile::Kind::addFile) {
        if (!old.OpenRead(tree.Full(s.path))) {
            DWORD code = ::GetLastError();
            return Fail(f, code == ERROR_SHARING_VIOLATION ? Code::fileInUse : Code::fileRead, code);
        }
        if (!old.Size(&oldSize)) return Fail(f, Code::fileRead, ::GetLastError());
        if (oldSize != e.oldSize) return Fail(f, Code::unexpectedContent, 0);
    }
    WindowReader oldReader(old, oldSize);
    RangeReader in(patch, e.dataOffset, e.dataLength);
    core::delta::Result r = e.method == core::patchfile::Method::x86
                                ? core::x86::Apply(oldReader, oldSize, in, e.dataLength, out, e.newSize)
                                : core::delta::Apply(oldReader, oldSize, in, e.dataLength, out, e.newSize,
                                                     e.method == core::patchfile::Method::runs);
    switch (r) {
    case core::delta::Result::ok: return true;
    case core::delta::Result::corrupt: return Fail(f, Code::dataDamaged, 0);
    case core::delta::Result::readError: return Fail(f, Code::fileRead, ::GetLastError());
    case core::delta::Result::writeError:
        if (out.Overflowed()) return Fail(f, Code::dataDamaged, 0);
        return Fail(f, Code::fileWrite, ::GetLastError());
    }
    return Fail(f, Code::dataDamaged, 0);
}

}  // namespace

bool StageFile(const Tree& tree, const Step& s, const core::patchfile::Entry& e, const File& patch, Failure* f) {
    std::wstring work = tree.Work(s);
    File file;
    if (!file.CreateNew(work)) {
        DWORD code = ::GetLastError();
        return Fail(f, code == ERROR_FILE_EXISTS ? Code::nameTaken : Code::fileWrite, code);
    }
    CheckedWriter out(file, e.newSize);
    bool made = e.method == core::patchfile::Method::stored ? CopyStored(e, patch, out, f)
                                                            : ApplyDelta(tree, s, e, patch, out, f);
    if (!made) return false;
    core::sha256::Digest d;
    if (!out.Finish(&d)) return Fail(f, Code::fileWrite, ::GetLastError());
    if (out.Written() != e.newSize || std::memcmp(d.bytes, e.newSha, 32) != 0) return Fail(f, Code::resultMismatch, 0);
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
