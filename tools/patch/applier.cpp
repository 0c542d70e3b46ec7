#include "applier.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "delta.h"
#include "hostfile.h"
#include "patchfile.h"
#include "segments.h"
#include "sha256.h"
#include "tree.h"
#include "x86.h"

namespace patchbuild {

namespace {

using core::patchfile::Entry;
using core::patchfile::Kind;

// CPU seconds per phase of a run, printed to stderr when DVPATCH_PHASES is
// set (bench/engine.sh reads them).
struct Phases {
    double check = 0, oldHash = 0, decode = 0;
    static double Now() {
        timespec t;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
    }
};
Phases phases;

// Adds the CPU time of its own life to one phase.
class PhaseTimer {
public:
    explicit PhaseTimer(double* into) : into_(into), start_(Phases::Now()) {}
    ~PhaseTimer() { *into_ += Phases::Now() - start_; }

private:
    double* into_;
    double start_;
};

bool Fail(std::string* error, const std::string& what) {
    *error = what;
    return false;
}

// The patch file's bytes [offset, offset + length), in order.
class RangeIn : public core::delta::InStream {
public:
    RangeIn(int fd, uint64_t offset) : fd_(fd), at_(offset) {}
    bool Read(void* buf, size_t n) override {
        if (!ReadAt(fd_, at_, buf, n)) return false;
        at_ += n;
        return true;
    }

private:
    int fd_;
    uint64_t at_;
};

class OldIn : public core::delta::OldReader {
public:
    explicit OldIn(int fd) : fd_(fd) {}
    bool ReadAt(uint64_t offset, void* buf, size_t n) override { return patchbuild::ReadAt(fd_, offset, buf, n); }

private:
    int fd_;
};

// Writes the new file and hashes it on the way.
class HashingOut : public core::delta::OutStream {
public:
    explicit HashingOut(int fd) : fd_(fd) {}
    bool Write(const void* buf, size_t n) override {
        sha_.Update(buf, n);
        return WriteAll(fd_, buf, n);
    }
    bool Matches(const uint8_t expected[32]) { return memcmp(sha_.Finish().bytes, expected, 32) == 0; }

private:
    int fd_;
    core::sha256::Sha256 sha_;
};

// The segmented path's view of the files (segments::Io): positional reads
// and writes, so every thread may use the same descriptors.
class HostIo : public core::segments::Io {
public:
    HostIo(int patchFd, int oldFd, int outFd) : patchFd_(patchFd), oldFd_(oldFd), outFd_(outFd) {}
    std::unique_ptr<core::delta::OldReader> Old() override { return std::make_unique<OldIn>(oldFd_); }
    std::unique_ptr<core::delta::InStream> Data(uint64_t offset, uint64_t) override {
        return std::make_unique<RangeIn>(patchFd_, offset);
    }
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override {
        return patchbuild::WriteAt(outFd_, offset, buf, n);
    }

private:
    int patchFd_, oldFd_, outFd_;
};

// Decoding threads: one per core, or DVPATCH_THREADS when set (the
// benchmark compares one and two).
unsigned DecodeThreads() {
    const char* v = getenv("DVPATCH_THREADS");
    if (v != nullptr && atoi(v) > 0) return unsigned(atoi(v));
    unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

bool CheckWholeFile(int fd, uint64_t size, const core::patchfile::Header& h) {
    core::sha256::Sha256 sha;
    std::vector<uint8_t> buf(1 << 20);
    for (uint64_t at = core::patchfile::kHashedFrom; at < size;) {
        size_t n = size_t(std::min<uint64_t>(buf.size(), size - at));
        if (!ReadAt(fd, at, buf.data(), n)) return false;
        sha.Update(buf.data(), n);
        at += n;
    }
    return memcmp(sha.Finish().bytes, h.sha256, 32) == 0;
}

bool OldMatches(const std::string& disk, const Entry& e) {
    PhaseTimer timer(&phases.oldHash);
    struct stat st;
    uint8_t digest[32];
    return stat(disk.c_str(), &st) == 0 && uint64_t(st.st_size) == e.oldSize && HashFile(disk, digest) &&
           memcmp(digest, e.oldSha, 32) == 0;
}

// Makes the new content beside the target, under a name no other file has,
// checks its hash, then renames it into place. A changed file keeps its mode.
// A segmented delta is written in place by several threads and hashed
// afterwards, read back; anything else is hashed as it is written.
bool WriteFile(int patchFd, uint32_t version, const std::string& disk, const Entry& e, std::string* error) {
    using core::patchfile::Method;
    struct stat st;
    mode_t mode = e.kind == Kind::changeFile && stat(disk.c_str(), &st) == 0 ? st.st_mode & 07777 : 0644;
    std::string temp;
    Fd out = CreateBeside(disk, mode, &temp);
    if (!out.ok()) return Fail(error, "cannot create a file beside " + disk + ": " + strerror(errno));
    PhaseTimer timer(&phases.decode);
    HashingOut sink(out.get());
    RangeIn in(patchFd, e.dataOffset);
    bool ok, hashed = true;
    if (e.method == Method::stored) {
        std::vector<uint8_t> buf(1 << 16);
        ok = true;
        for (uint64_t left = e.dataLength; ok && left > 0;) {
            size_t n = size_t(std::min<uint64_t>(buf.size(), left));
            ok = in.Read(buf.data(), n) && sink.Write(buf.data(), n);
            left -= n;
        }
    } else {
        Fd oldFd;
        if (e.kind == Kind::changeFile) oldFd = OpenRead(disk);
        OldIn old(oldFd.get());
        core::delta::Result r;
        if (e.segmented) {
            HostIo io(patchFd, oldFd.get(), out.get());
            unsigned threads = DecodeThreads();
            r = e.method == Method::x86
                    ? core::x86::ApplySegments(io, e.oldSize, e.dataOffset, e.dataLength, e.newSize, threads)
                    : core::segments::Apply(io, e.oldSize, e.dataOffset, e.dataLength, e.newSize,
                                            core::patchfile::DeltaCopies(version, e.method), threads);
            hashed = false;
        } else {
            core::delta::Copies copies = core::patchfile::DeltaCopies(version, e.method);
            r = e.method == Method::x86 ? core::x86::Apply(old, e.oldSize, in, e.dataLength, sink, e.newSize, copies)
                                        : core::delta::Apply(old, e.oldSize, in, e.dataLength, sink, e.newSize, copies);
        }
        ok = r == core::delta::Result::ok;
        if (!ok) *error = e.path + ": " + core::delta::ResultText(r);
    }
    uint8_t digest[32];
    if (ok && !(hashed ? sink.Matches(e.newSha) : HashFile(temp, digest) && memcmp(digest, e.newSha, 32) == 0))
        ok = Fail(error, e.path + ": new content does not match its hash");
    if (ok && rename(temp.c_str(), disk.c_str()) != 0) ok = Fail(error, "cannot rename " + temp);
    if (!ok) unlink(temp.c_str());
    return ok;
}

bool ApplyEntry(int patchFd, uint32_t version, const std::string& root, const Entry& e, std::string* error) {
    std::string disk = DiskPath(root, e.path);
    struct stat st;
    switch (e.kind) {
    case Kind::makeFolder:
        if (mkdir(disk.c_str(), 0755) == 0 || (errno == EEXIST && stat(disk.c_str(), &st) == 0 && S_ISDIR(st.st_mode)))
            return true;
        return Fail(error, "cannot make folder " + disk + ": " + strerror(errno));
    case Kind::removeFolder:
        return rmdir(disk.c_str()) == 0 || Fail(error, "cannot remove folder " + disk + ": " + strerror(errno));
    case Kind::removeFile:
        if (!OldMatches(disk, e)) return Fail(error, disk + ": not the file the patch expects");
        return unlink(disk.c_str()) == 0 || Fail(error, "cannot remove " + disk + ": " + strerror(errno));
    case Kind::addFile:
        if (lstat(disk.c_str(), &st) == 0) return Fail(error, disk + ": already exists");
        return WriteFile(patchFd, version, disk, e, error);
    case Kind::changeFile:
        if (!OldMatches(disk, e)) return Fail(error, disk + ": not the file the patch expects");
        return WriteFile(patchFd, version, disk, e, error);
    }
    return Fail(error, "unknown entry kind");
}

// A symbolic link anywhere on an entry's path (put there by someone else: a
// patch cannot make one) could lead a write or a removal outside the tree.
// Checked for every entry before the first is applied, so that such a patch
// changes nothing.
bool ThroughLink(const std::string& root, const std::string& path) {
    for (size_t cut = path.find('\\');; cut = path.find('\\', cut + 1)) {
        struct stat st;
        if (lstat(DiskPath(root, path.substr(0, cut)).c_str(), &st) == 0 && S_ISLNK(st.st_mode)) return true;
        if (cut == std::string::npos) return false;
    }
}

bool ApplyAll(const std::string& root, const std::string& patchPath, std::string* error) {
    Fd fd = OpenRead(patchPath);
    uint64_t size = 0;
    if (!fd.ok() || !FileSize(fd.get(), &size)) return Fail(error, "cannot open " + patchPath);
    uint8_t head[core::patchfile::kHeaderSize] = {};
    size_t got = size < sizeof head ? size_t(size) : sizeof head;
    core::patchfile::Header h;
    core::patchfile::Error err = ReadAt(fd.get(), 0, head, got) ? core::patchfile::ParseHeader(head, got, size, &h)
                                                                : core::patchfile::Error::badSize;
    if (err != core::patchfile::Error::none) return Fail(error, core::patchfile::ErrorText(err));
    std::vector<Entry> entries;
    {
        PhaseTimer timer(&phases.check);
        if (!CheckWholeFile(fd.get(), size, h)) return Fail(error, "patch file is damaged (hash mismatch)");
        std::vector<uint8_t> table(h.tableSize);
        if (!ReadAt(fd.get(), core::patchfile::kHeaderSize, table.data(), table.size()))
            return Fail(error, "cannot read table");
        err = core::patchfile::ParseTable(table.data(), table.size(), h, &entries);
    }
    if (err != core::patchfile::Error::none) return Fail(error, core::patchfile::ErrorText(err));
    for (const Entry& e : entries)
        if (ThroughLink(root, e.path)) return Fail(error, e.path + ": the path goes through a symbolic link");
    for (const Entry& e : entries)
        if (!ApplyEntry(fd.get(), h.version, root, e, error)) return false;
    return true;
}

}  // namespace

bool ApplyPatch(const std::string& root, const std::string& patchPath, std::string* error) {
    double start = Phases::Now();
    bool ok = ApplyAll(root, patchPath, error);
    if (getenv("DVPATCH_PHASES") != nullptr)
        fprintf(
            stderr,
            "phases patch check %.3f, old files hashed %.3f, new files decoded, hashed and written %.3f, rest %.3f\n",
            phases.check, phases.oldHash, phases.decode,
            Phases::Now() - start - phases.check - phases.oldHash - phases.decode);
    return ok;
}

}  // namespace patchbuild
