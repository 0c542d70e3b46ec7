// The builder works in two passes: entry data go to a scratch file beside the
// output while entries are planned; then header, table and data are written
// out, hashing from byte 48 on, and the hash is put into the header last.
#include "builder.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "deltawriter.h"
#include "hostfile.h"
#include "matcher.h"
#include "patchfile.h"
#include "sha256.h"
#include "tree.h"
#include "x86.h"
#include "ascii.h"

namespace patchbuild {

namespace {

using core::patchfile::Entry;
using core::patchfile::Kind;
using core::patchfile::Method;

// Appends to the scratch data file, counting bytes.
class DataSink : public core::delta::OutStream {
public:
    explicit DataSink(int fd) : fd_(fd) {}
    bool Write(const void* buf, size_t n) override {
        if (!WriteAll(fd_, buf, n)) return false;
        size_ += n;
        return true;
    }
    uint64_t size() const { return size_; }
    // Moves the bytes [from, size) down to `to` and drops the rest.
    bool MoveDown(uint64_t from, uint64_t to) {
        std::vector<uint8_t> buf(1 << 20);
        for (uint64_t at = from; at < size_;) {
            size_t n = size_t(std::min<uint64_t>(buf.size(), size_ - at));
            if (!ReadAt(fd_, at, buf.data(), n) || pwrite(fd_, buf.data(), n, off_t(to + (at - from))) != ssize_t(n))
                return false;
            at += n;
        }
        return Rewind(to + (size_ - from));
    }
    bool Rewind(uint64_t to) {
        size_ = to;
        return ftruncate(fd_, off_t(to)) == 0 && lseek(fd_, off_t(to), SEEK_SET) == off_t(to);
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

struct FileJob {
    std::string oldDisk, newDisk;  // oldDisk empty for an added file
    uint64_t oldSize, newSize;
};

bool Fail(std::string* error, const std::string& what) {
    *error = what + (errno != 0 ? std::string(": ") + strerror(errno) : std::string());
    return false;
}

// Diffs the new file window by window against the old window at the same
// offset (or the old file's last window when the old file is shorter).
// With `copies`, the copies of a file that fits one window are kept for
// WriteX86.
bool WriteDelta(const FileJob& job, uint64_t window, core::delta::Copies how, DataSink& sink,
                std::vector<core::x86::Segment>* copies, bool* segmented, std::string* error) {
    Fd oldFd, newFd = OpenRead(job.newDisk);
    if (!job.oldDisk.empty()) oldFd = OpenRead(job.oldDisk);
    if (!newFd.ok() || (!job.oldDisk.empty() && !oldFd.ok())) return Fail(error, "cannot open " + job.newDisk);
    core::delta::SegmentWriter writer(sink, job.newSize, how);
    std::vector<uint8_t> oldBuf, newBuf;
    for (uint64_t at = 0; at < job.newSize; at += window) {
        size_t newLen = size_t(std::min(window, job.newSize - at));
        uint64_t oldAt = at < job.oldSize ? at : (job.oldSize > window ? job.oldSize - window : 0);
        size_t oldLen = size_t(std::min(window, job.oldSize - oldAt));
        newBuf.resize(newLen);
        oldBuf.resize(oldLen);
        if (!ReadAt(newFd.get(), at, newBuf.data(), newLen)) return Fail(error, "cannot read " + job.newDisk);
        if (oldLen != 0 && !ReadAt(oldFd.get(), oldAt, oldBuf.data(), oldLen))
            return Fail(error, "cannot read " + job.oldDisk);
        DiffWindow(oldBuf.data(), oldLen, oldAt, newBuf.data(), newLen, writer,
                   job.newSize <= window && job.oldSize <= window ? copies : nullptr);
    }
    if (!writer.Finish()) return Fail(error, "cannot write patch data");
    *segmented = writer.Segmented();
    return true;
}

class MemoryReader : public core::delta::OldReader {
public:
    explicit MemoryReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool ReadAt(uint64_t offset, void* buf, size_t n) override {
        if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
        memcpy(buf, bytes_.data() + offset, n);
        return true;
    }

private:
    const std::vector<uint8_t>& bytes_;
};

bool ReadWhole(const std::string& path, uint64_t size, std::vector<uint8_t>* out) {
    Fd fd = OpenRead(path);
    out->resize(size_t(size));
    return fd.ok() && (size == 0 || ReadAt(fd.get(), 0, out->data(), out->size()));
}

// Method 2, for a file that is a PE32 image in both versions: the byte
// delta's copies map old offsets to new ones, core::x86::Rewrite points the old
// file's calls and jumps at the new targets through them, and the new file is
// diffed again against that. *made is false when the file does not qualify.
bool WriteX86(const FileJob& job, std::vector<core::x86::Segment> copies, DataSink& sink, bool* made, bool* segmented,
              std::string* error) {
    *made = false;
    std::vector<uint8_t> old, nu;
    if (copies.empty() || copies.size() > core::x86::kMaxSegments) return true;
    if (!ReadWhole(job.oldDisk, job.oldSize, &old)) return Fail(error, "cannot read " + job.oldDisk);
    if (!ReadWhole(job.newDisk, job.newSize, &nu)) return Fail(error, "cannot read " + job.newDisk);
    core::x86::Map map;
    core::x86::Image newImage;
    MemoryReader oldReader(old), newReader(nu);
    if (!core::x86::ReadImage(oldReader, old.size(), &map.old) ||
        !core::x86::ReadImage(newReader, nu.size(), &newImage))
        return true;
    map.newBase = newImage.base;
    map.newSections = newImage.sections;
    map.segments = Disjoint(std::move(copies));
    std::vector<uint8_t> rewritten(old.size());
    core::x86::Rewrite(map, old.data(), 0, old.size(), 0, rewritten.data(), old.size());
    std::vector<uint8_t>().swap(old);  // the suffix array of `rewritten` takes its place
    std::vector<uint8_t> header = core::x86::Serialize(map);
    uint8_t length[4] = {uint8_t(header.size()), uint8_t(header.size() >> 8), uint8_t(header.size() >> 16),
                         uint8_t(header.size() >> 24)};
    if (!sink.Write(length, 4) || !sink.Write(header.data(), header.size()))
        return Fail(error, "cannot write patch data");
    core::delta::SegmentWriter writer(sink, nu.size());
    DiffWindow(rewritten.data(), rewritten.size(), 0, nu.data(), nu.size(), writer);
    if (!writer.Finish()) return Fail(error, "cannot write patch data");
    *made = true;
    *segmented = writer.Segmented();
    return true;
}

bool WriteStored(const FileJob& job, DataSink& sink, std::string* error) {
    Fd fd = OpenRead(job.newDisk);
    if (!fd.ok()) return Fail(error, "cannot open " + job.newDisk);
    std::vector<uint8_t> buf(1 << 20);
    for (uint64_t at = 0; at < job.newSize;) {
        size_t n = size_t(std::min<uint64_t>(buf.size(), job.newSize - at));
        if (!ReadAt(fd.get(), at, buf.data(), n)) return Fail(error, "cannot read " + job.newDisk);
        if (!sink.Write(buf.data(), n)) return Fail(error, "cannot write patch data");
        at += n;
    }
    return true;
}

constexpr uint64_t kByteByByteUpTo = 4 << 20;

// Keeps the smallest of the byte delta, the x86 delta and the file itself.
bool WriteData(const FileJob& job, const BuildOptions& options, DataSink& sink, Entry* e, BuildStats* stats,
               std::string* error) {
    uint64_t start = sink.size();
    std::vector<core::x86::Segment> copies;
    bool segmented, other;
    if (!WriteDelta(job, options.window, core::delta::Copies::groups4, sink, &copies, &segmented, error)) return false;
    e->method = Method::runs;
    // A smaller file decodes fast enough either way: it may take the
    // byte-by-byte coding when that is smaller.
    if (job.newSize <= kByteByByteUpTo) {
        uint64_t second = sink.size();
        if (!WriteDelta(job, options.window, core::delta::Copies::bytes, sink, nullptr, &other, error)) return false;
        bool smaller = sink.size() - second <= second - start;
        if (smaller) segmented = other;
        if (smaller ? !sink.MoveDown(second, start) : !sink.Rewind(second))
            return Fail(error, "cannot keep patch data");
        if (smaller) e->method = Method::delta;
    }
    uint64_t second = sink.size();
    bool made = false;
    if (!job.oldDisk.empty() && !WriteX86(job, std::move(copies), sink, &made, &other, error)) return false;
    if (made && sink.size() - second < second - start) {
        if (!sink.MoveDown(second, start)) return Fail(error, "cannot move patch data");
        e->method = Method::x86;
        segmented = other;
    } else if (!sink.Rewind(second)) {
        return Fail(error, "cannot rewind patch data");
    }
    if (sink.size() - start >= job.newSize) {
        if (!sink.Rewind(start)) return Fail(error, "cannot rewind patch data");
        if (!WriteStored(job, sink, error)) return false;
        e->method = Method::stored;
        segmented = false;
    }
    (e->method == Method::stored ? stats->stored : e->method == Method::x86 ? stats->x86 : stats->deltas)++;
    e->segmented = segmented;
    e->dataOffset = start;  // relative until the table's size is known
    e->dataLength = sink.size() - start;
    return true;
}

Entry Plain(Kind kind, const std::string& path) {
    Entry e{};
    e.kind = kind;
    e.method = Method::stored;
    e.path = path;
    return e;
}

struct Trees {
    std::string oldRoot, newRoot;
    std::vector<TreeItem> oldItems, newItems;
    std::map<std::string, size_t> oldByKey, newByKey;
};

bool Index(const std::vector<TreeItem>& items, std::map<std::string, size_t>* byKey, std::string* error) {
    for (size_t i = 0; i < items.size(); i++) {
        if (!byKey->emplace(core::ascii::Folded(items[i].path), i).second) {
            errno = 0;
            return Fail(error, items[i].path + ": another name differs from it only in letter case");
        }
    }
    return true;
}

// Removals, children first (the old walk reversed), for what is gone or has
// turned from file to folder or back.
void PlanRemovals(const Trees& t, std::vector<Entry>* entries, BuildStats* stats) {
    for (size_t i = t.oldItems.size(); i-- > 0;) {
        const TreeItem& item = t.oldItems[i];
        auto it = t.newByKey.find(core::ascii::Folded(item.path));
        if (it != t.newByKey.end() && t.newItems[it->second].folder == item.folder) continue;
        if (item.folder) {
            entries->push_back(Plain(Kind::removeFolder, item.path));
            stats->removedFolders++;
        } else {
            Entry e = Plain(Kind::removeFile, item.path);
            e.oldSize = item.size;
            entries->push_back(e);
            stats->removedFiles++;
        }
    }
}

bool HashOrFail(const std::string& path, uint8_t* digest, std::string* error) {
    return HashFile(path, digest) || Fail(error, "cannot read " + path);
}

// Folders to make and files to add or change, parents first (the new walk).
bool PlanCreations(const Trees& t, const BuildOptions& options, DataSink& sink, std::vector<Entry>* entries,
                   BuildStats* stats, std::string* error) {
    for (const TreeItem& item : t.newItems) {
        auto it = t.oldByKey.find(core::ascii::Folded(item.path));
        const TreeItem* old = it == t.oldByKey.end() ? nullptr : &t.oldItems[it->second];
        if (old != nullptr && old->folder != item.folder) old = nullptr;
        if (item.folder) {
            if (old == nullptr) entries->push_back(Plain(Kind::makeFolder, item.path)), stats->madeFolders++;
            continue;
        }
        Entry e = Plain(old ? Kind::changeFile : Kind::addFile, item.path);
        FileJob job{old ? DiskPath(t.oldRoot, old->path) : "", DiskPath(t.newRoot, item.path), old ? old->size : 0,
                    item.size};
        e.newSize = item.size;
        if (!HashOrFail(job.newDisk, e.newSha, error)) return false;
        if (old) {
            e.oldSize = old->size;
            if (!HashOrFail(job.oldDisk, e.oldSha, error)) return false;
            if (e.oldSize == e.newSize && memcmp(e.oldSha, e.newSha, 32) == 0) {
                stats->unchanged++;
                continue;
            }
        }
        if (!WriteData(job, options, sink, &e, stats, error)) return false;
        (old ? stats->changed : stats->added)++;
        entries->push_back(e);
    }
    return true;
}

bool HashRemovedFiles(const Trees& t, std::vector<Entry>* entries, std::string* error) {
    for (Entry& e : *entries)
        if (e.kind == Kind::removeFile && !HashOrFail(DiskPath(t.oldRoot, e.path), e.oldSha, error)) return false;
    return true;
}

// Header, table, then the scratch data; the hash covers byte 48 onwards.
bool WriteOutput(const std::string& outPath, std::vector<Entry> entries, int dataFd, uint64_t dataSize,
                 uint64_t* fileSize, std::string* error) {
    uint64_t dataStart = core::patchfile::DataStart(entries);
    if (entries.size() > core::patchfile::kMaxEntries ||
        dataStart - core::patchfile::kHeaderSize > core::patchfile::kMaxTableSize) {
        errno = 0;
        return Fail(error, "too many entries for one patch file");
    }
    for (Entry& e : entries)
        if (e.kind == Kind::addFile || e.kind == Kind::changeFile) e.dataOffset += dataStart;
    std::vector<uint8_t> head = core::patchfile::WriteHead(entries, dataSize);
    *fileSize = dataStart + dataSize;
    Fd out = CreateWrite(outPath);
    if (!out.ok()) return Fail(error, "cannot create " + outPath);
    core::sha256::Sha256 sha;
    sha.Update(head.data() + core::patchfile::kHashedFrom, head.size() - core::patchfile::kHashedFrom);
    if (!WriteAll(out.get(), head.data(), head.size())) return Fail(error, "cannot write " + outPath);
    std::vector<uint8_t> buf(1 << 20);
    for (uint64_t at = 0; at < dataSize;) {
        size_t n = size_t(std::min<uint64_t>(buf.size(), dataSize - at));
        if (!ReadAt(dataFd, at, buf.data(), n)) return Fail(error, "cannot read patch data back");
        sha.Update(buf.data(), n);
        if (!WriteAll(out.get(), buf.data(), n)) return Fail(error, "cannot write " + outPath);
        at += n;
    }
    core::sha256::Digest digest = sha.Finish();
    if (pwrite(out.get(), digest.bytes, 32, 16) != 32) return Fail(error, "cannot write " + outPath);
    return true;
}

}  // namespace

// The map for core::x86::Rewrite: the long copies only (short ones are mostly
// chance matches elsewhere in the file; 256 bytes measured best on the PE32
// corpus), sorted by old offset, each cut to start after the one before so
// that every old offset has one image.
std::vector<core::x86::Segment> Disjoint(std::vector<core::x86::Segment> copies) {
    constexpr uint64_t kMinLength = 256;
    copies.erase(
        std::remove_if(copies.begin(), copies.end(), [](const core::x86::Segment& s) { return s.length < kMinLength; }),
        copies.end());
    std::stable_sort(copies.begin(), copies.end(),
                     [](const core::x86::Segment& a, const core::x86::Segment& b) { return a.oldStart < b.oldStart; });
    std::vector<core::x86::Segment> out;
    for (core::x86::Segment s : copies) {
        if (!out.empty()) {
            uint64_t end = out.back().oldStart + out.back().length;
            if (s.oldStart + s.length <= end) continue;
            if (s.oldStart < end) {
                s.newStart += end - s.oldStart;
                s.length -= end - s.oldStart;
                s.oldStart = end;
            }
        }
        out.push_back(s);
    }
    return out;
}

bool BuildPatch(const std::string& oldRoot, const std::string& newRoot, const std::string& outPath,
                const BuildOptions& options, BuildStats* stats, std::string* error) {
    errno = 0;
    Trees t{oldRoot, newRoot, {}, {}, {}, {}};
    if (!ReadTree(oldRoot, &t.oldItems, &stats->skipped, error) ||
        !ReadTree(newRoot, &t.newItems, &stats->skipped, error))
        return false;
    if (!Index(t.oldItems, &t.oldByKey, error) || !Index(t.newItems, &t.newByKey, error)) return false;
    std::string scratchPath = outPath + ".data";
    Fd scratch = CreateWrite(scratchPath);
    if (!scratch.ok()) return Fail(error, "cannot create " + scratchPath);
    unlink(scratchPath.c_str());  // the open descriptor keeps it until we close it
    DataSink sink(scratch.get());
    std::vector<Entry> entries;
    PlanRemovals(t, &entries, stats);
    if (!HashRemovedFiles(t, &entries, error)) return false;
    if (!PlanCreations(t, options, sink, &entries, stats, error)) return false;
    stats->dataBytes = sink.size();
    return WriteOutput(outPath, entries, scratch.get(), sink.size(), &stats->fileBytes, error);
}

}  // namespace patchbuild
