// Patch file header and entry table: every field is checked against the
// bounds of the bytes given and of the file before it is believed.
#include "patchfile.h"

#include <algorithm>
#include <cstring>
#include "ascii.h"

namespace core::patchfile {

namespace {

// Little-endian reads that fail instead of running past the end.
struct Cursor {
    const uint8_t* p;
    size_t left;
    bool Take(void* dst, size_t n) {
        if (n > left) return false;
        memcpy(dst, p, n);
        p += n;
        left -= n;
        return true;
    }
    bool U8(uint8_t* v) { return Take(v, 1); }
    bool U16(uint16_t* v) {
        uint8_t b[2];
        if (!Take(b, 2)) return false;
        *v = uint16_t(b[0] | (b[1] << 8));
        return true;
    }
    bool U32(uint32_t* v) {
        uint8_t b[4];
        if (!Take(b, 4)) return false;
        *v = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
        return true;
    }
    bool U64(uint64_t* v) {
        uint32_t lo, hi;
        if (!U32(&lo) || !U32(&hi)) return false;
        *v = uint64_t(hi) << 32 | lo;
        return true;
    }
};

constexpr size_t kEntryFixedBytes = 1 + 1 + 2 + 8 + 32 + 8 + 32 + 8 + 8;

bool IsZero(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (p[i] != 0) return false;
    return true;
}

bool ReadEntry(Cursor& c, Entry* e) {
    uint8_t kind, method;
    uint16_t pathLength;
    if (!c.U8(&kind) || !c.U8(&method) || !c.U16(&pathLength)) return false;
    if (pathLength > c.left) return false;
    e->kind = Kind(kind);
    e->method = Method(method & ~kSegmented);
    e->segmented = (method & kSegmented) != 0;
    e->path.assign(reinterpret_cast<const char*>(c.p), pathLength);
    c.p += pathLength;
    c.left -= pathLength;
    return c.U64(&e->oldSize) && c.Take(e->oldSha, 32) && c.U64(&e->newSize) && c.Take(e->newSha, 32) &&
           c.U64(&e->dataOffset) && c.U64(&e->dataLength);
}

// Which fields a kind may use: the rest must be zero, so that no entry
// carries a meaning that some reader might act on and another ignore.
Error CheckFields(const Entry& e, const Header& h) {
    bool hasOld = e.kind == Kind::changeFile || e.kind == Kind::removeFile;
    bool hasNew = e.kind == Kind::addFile || e.kind == Kind::changeFile;
    if (uint8_t(e.kind) < 1 || uint8_t(e.kind) > 5) return Error::badEntry;
    if (uint8_t(e.method) > 3 || (!hasNew && e.method != Method::stored)) return Error::badEntry;
    if (e.method == Method::x86 && e.kind != Kind::changeFile) return Error::badEntry;
    if (e.segmented && (h.version < 4 || e.method == Method::stored)) return Error::badEntry;
    if (!hasOld && (e.oldSize != 0 || !IsZero(e.oldSha, 32))) return Error::badEntry;
    if (!hasNew && (e.newSize != 0 || !IsZero(e.newSha, 32))) return Error::badEntry;
    if (!hasNew) return e.dataOffset == 0 && e.dataLength == 0 ? Error::none : Error::badData;
    uint64_t dataStart = kHeaderSize + uint64_t(h.tableSize);
    if (e.dataOffset < dataStart || e.dataOffset > h.fileSize || e.dataLength > h.fileSize - e.dataOffset)
        return Error::badData;
    if (e.method == Method::stored && e.dataLength != e.newSize) return Error::badData;
    return Error::none;
}

bool IsRemoval(Kind k) { return k == Kind::removeFile || k == Kind::removeFolder; }
bool IsCreation(Kind k) { return k == Kind::makeFolder || k == Kind::addFile; }

// A path may appear twice only as a removal followed by a creation (a file
// that becomes a folder, or the reverse); anything else names one object
// twice and is refused.
Error CheckDuplicates(const std::vector<Entry>& entries) {
    std::vector<std::pair<std::string, size_t>> keys;
    keys.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); i++) keys.emplace_back(ascii::Folded(entries[i].path), i);
    std::sort(keys.begin(), keys.end());
    for (size_t i = 1; i < keys.size(); i++) {
        if (keys[i].first != keys[i - 1].first) continue;
        bool thirdTime = i >= 2 && keys[i - 2].first == keys[i].first;
        const Entry& first = entries[keys[i - 1].second];
        const Entry& second = entries[keys[i].second];
        if (thirdTime || !IsRemoval(first.kind) || !IsCreation(second.kind)) return Error::duplicatePath;
    }
    return Error::none;
}

}  // namespace

Error ParseHeader(const uint8_t* bytes, size_t n, uint64_t actualFileSize, Header* out) {
    if (n < kHeaderSize || actualFileSize < kHeaderSize) return Error::badSize;
    if (memcmp(bytes, kMagic, 4) != 0) return Error::badMagic;
    Cursor c{bytes + 4, n - 4};
    Header h;
    c.U32(&h.version);
    c.U64(&h.fileSize);
    c.Take(h.sha256, 32);
    c.U32(&h.entryCount);
    c.U32(&h.tableSize);
    if (h.version < kOldestVersion || h.version > kVersion) return Error::badVersion;
    if (h.fileSize != actualFileSize) return Error::badSize;
    if (h.entryCount > kMaxEntries || h.tableSize > kMaxTableSize) return Error::badTable;
    if (h.tableSize > h.fileSize - kHeaderSize) return Error::badTable;
    if (uint64_t(h.entryCount) * (kEntryFixedBytes + 1) > h.tableSize) return Error::badTable;
    *out = h;
    return Error::none;
}

Error ParseTable(const uint8_t* table, size_t n, const Header& h, std::vector<Entry>* out) {
    if (n != h.tableSize) return Error::badTable;
    std::vector<Entry> entries(h.entryCount);
    Cursor c{table, n};
    for (Entry& e : entries) {
        if (!ReadEntry(c, &e)) return Error::badTable;
        if (e.path.empty() || e.path.size() > kMaxPathBytes || !IsSafeRelativePath(e.path)) return Error::badPath;
        Error err = CheckFields(e, h);
        if (err != Error::none) return err;
    }
    if (c.left != 0) return Error::badTable;
    Error err = CheckDuplicates(entries);
    if (err != Error::none) return err;
    out->swap(entries);
    return Error::none;
}

uint64_t DataStart(const std::vector<Entry>& entries) {
    uint64_t n = kHeaderSize;
    for (const Entry& e : entries) n += kEntryFixedBytes + e.path.size();
    return n;
}

std::vector<uint8_t> WriteHead(const std::vector<Entry>& entries, uint64_t dataSize) {
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    auto put = [&out](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; i++) out.push_back(uint8_t(v >> (8 * i)));
    };
    uint64_t start = DataStart(entries);
    put(kVersion, 4);
    put(start + dataSize, 8);
    out.resize(kHashedFrom);
    put(entries.size(), 4);
    put(start - kHeaderSize, 4);
    for (const Entry& e : entries) {
        put(uint8_t(e.kind), 1);
        put(uint8_t(e.method) | (e.segmented ? kSegmented : 0), 1);
        put(e.path.size(), 2);
        out.insert(out.end(), e.path.begin(), e.path.end());
        put(e.oldSize, 8);
        out.insert(out.end(), e.oldSha, e.oldSha + 32);
        put(e.newSize, 8);
        out.insert(out.end(), e.newSha, e.newSha + 32);
        put(e.dataOffset, 8);
        put(e.dataLength, 8);
    }
    return out;
}

const char* ErrorText(Error e) {
    switch (e) {
    case Error::none: return "no error";
    case Error::badMagic: return "not a patch file";
    case Error::badVersion: return "unsupported patch file version";
    case Error::badSize: return "patch file is truncated or has bytes appended";
    case Error::badTable: return "patch file entry table is damaged";
    case Error::badEntry: return "patch file entry is malformed";
    case Error::badPath: return "patch file names an unsafe path";
    case Error::duplicatePath: return "patch file names the same path twice";
    case Error::badData: return "patch file data range is out of bounds";
    }
    return "unknown error";
}

}  // namespace core::patchfile
