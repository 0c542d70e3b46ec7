#include "x86.h"

#include <algorithm>
#include <cstring>

#include "varint.h"

namespace core::x86 {

namespace {

uint32_t Le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// The old file's bytes as Rewrite sees them: reads outside what the caller
// supplied give "no byte", so a short buffer can only miss a rewrite, never
// read out of bounds.
struct Bytes {
    const uint8_t* raw;
    uint64_t start;
    size_t len;
    int At(uint64_t x) const { return x >= start && x - start < len ? raw[x - start] : -1; }
};

// Bytes Candidate can accept.
struct OpcodeTable {
    bool v[256] = {};
    constexpr OpcodeTable() {
        for (int b = 0; b < 256; b++) v[b] = b == 0xE8 || b == 0xE9 || (b & 0xF0) == 0x80;
    }
};
constexpr OpcodeTable kOpcodeByte{};

// An opcode byte whose rel32 operand follows it: call (E8), jmp (E9), or the
// second byte of a near conditional jump (0F 80-8F).
bool Candidate(const Image& m, const Bytes& b, uint64_t q) {
    if (q < m.codeStart || m.codeEnd < 5 || q > m.codeEnd - 5) return false;
    int op = b.At(q);
    if (op == 0xE8 || op == 0xE9) return true;
    return (op & 0xF0) == 0x80 && q > m.codeStart && b.At(q - 1) == 0x0F;
}

// A candidate with no other candidate in the four bytes before it: operands
// of accepted opcodes never overlap, and the choice depends only on the old
// bytes [q - 5, q].
bool Accepted(const Image& m, const Bytes& b, uint64_t q) {
    if (!Candidate(m, b, q)) return false;
    for (uint64_t r = q >= 4 ? q - 4 : 0; r < q; r++)
        if (Candidate(m, b, r)) return false;
    return true;
}

// The first relocation whose four bytes end after x.
std::vector<uint32_t>::const_iterator RelocFrom(const Image& m, uint64_t x) {
    return std::lower_bound(m.relocs.begin(), m.relocs.end(), x >= 3 ? x - 3 : 0,
                            [](uint32_t r, uint64_t v) { return r < v; });
}

bool ToOffset(const std::vector<Section>& sections, uint64_t rva, uint64_t* out) {
    for (const Section& s : sections) {
        if (rva >= s.rva && rva - s.rva < s.rawSize) {
            *out = s.rawStart + (rva - s.rva);
            return true;
        }
    }
    return false;
}

bool ToRva(const std::vector<Section>& sections, uint64_t offset, uint64_t* out) {
    for (const Section& s : sections) {
        if (offset >= s.rawStart && offset - s.rawStart < s.rawSize) {
            *out = s.rva + (offset - s.rawStart);
            return true;
        }
    }
    return false;
}

bool ToNew(const Map& m, uint64_t x, uint64_t* out);

// Where an old RVA went: through the segments when it has file bytes; past
// them (uninitialised data) by its section's move, when both files have the
// same number of sections.
bool NewRva(const Map& map, uint64_t rva, uint64_t* out) {
    uint64_t offset, moved;
    if (ToOffset(map.old.sections, rva, &offset))
        return ToNew(map, offset, &moved) && ToRva(map.newSections, moved, out);
    if (map.old.sections.size() != map.newSections.size()) return false;
    for (size_t i = 0; i < map.old.sections.size(); i++) {
        const Section& s = map.old.sections[i];
        if (rva >= s.rva && rva - s.rva < s.virtualSize) {
            *out = rva - s.rva + map.newSections[i].rva;
            return true;
        }
    }
    return false;
}

void Store(uint32_t value, uint64_t field, uint64_t at, uint8_t* out, size_t n) {
    for (int k = 0; k < 4; k++) {
        uint64_t x = field + k;
        if (x >= at && x - at < n) out[x - at] = uint8_t(value >> (8 * k));
    }
}

bool Load(const Bytes& b, uint64_t field, uint32_t* value) {
    *value = 0;
    for (int k = 3; k >= 0; k--) {
        int v = b.At(field + k);
        if (v < 0) return false;
        *value = *value << 8 | uint32_t(v);
    }
    return true;
}

// Where old offset x went: by the shift of the last segment that starts at
// or before it (also past that segment's end: the bytes between two copies
// moved with the one before, most likely).
bool ToNew(const Map& m, uint64_t x, uint64_t* out) {
    auto it = std::upper_bound(m.segments.begin(), m.segments.end(), x,
                               [](uint64_t v, const Segment& s) { return v < s.oldStart; });
    if (it == m.segments.begin()) return false;
    --it;
    *out = it->newStart + (x - it->oldStart);
    return true;
}

using varint::Cursor;

// Reads the old file through Rewrite, fetching the few bytes of context
// around each request with it.
class RewritingReader : public delta::OldReader {
public:
    RewritingReader(delta::OldReader& raw, uint64_t size, const Map& map) : raw_(raw), size_(size), map_(map) {}
    bool ReadAt(uint64_t offset, void* buf, size_t n) override {
        uint8_t* dst = static_cast<uint8_t*>(buf);
        while (n > 0) {
            size_t step = n < kPiece ? n : kPiece;
            uint64_t from = offset >= 9 ? offset - 9 : 0;
            uint64_t to = size_ - (offset + step) > 4 ? offset + step + 4 : size_;
            scratch_.resize(size_t(to - from));
            if (!raw_.ReadAt(from, scratch_.data(), scratch_.size())) return false;
            Rewrite(map_, scratch_.data(), from, scratch_.size(), offset, dst, step);
            offset += step;
            dst += step;
            n -= step;
        }
        return true;
    }

private:
    static constexpr size_t kPiece = 256 * 1024;
    delta::OldReader& raw_;
    uint64_t size_;
    const Map& map_;
    std::vector<uint8_t> scratch_;
};

}  // namespace

bool ReadImage(delta::OldReader& file, uint64_t size, Image* out) {
    std::vector<uint8_t> buf(size_t(size < kMaxHeaders ? size : kMaxHeaders));
    const size_t n = buf.size();
    const uint8_t* head = buf.data();
    if (n < 0x40 || !file.ReadAt(0, buf.data(), n) || head[0] != 'M' || head[1] != 'Z') return false;
    uint64_t pe = Le32(head + 0x3C);
    if (pe > n || n - pe < 24 || memcmp(head + pe, "PE\0\0", 4) != 0 || Le16(head + pe + 4) != 0x14C) return false;
    uint32_t count = Le16(head + pe + 6), optional = Le16(head + pe + 20);
    uint64_t opt = pe + 24, table = opt + optional;
    if (optional < 96 || table > n || Le16(head + opt) != 0x10B) return false;
    if (count == 0 || count > kMaxSections || (n - table) / 40 < count) return false;
    Image im;
    im.base = Le32(head + opt + 28);
    uint32_t relocRva = 0, relocSize = 0;
    if (Le32(head + opt + 92) > 5 && optional >= 96 + 6 * 8) {
        relocRva = Le32(head + opt + 96 + 40);
        relocSize = Le32(head + opt + 96 + 44);
    }
    bool found = false;
    for (uint32_t i = 0; i < count; i++) {
        const uint8_t* s = head + table + 40 * i;
        Section sec{Le32(s + 20), Le32(s + 16), Le32(s + 12), Le32(s + 8)};
        if (uint64_t(sec.rawStart) + sec.rawSize > size) return false;
        im.sections.push_back(sec);
        if (sec.rawSize == 0) continue;
        if (!found && (Le32(s + 36) & 0x20000020u) != 0) {
            im.codeStart = sec.rawStart;
            im.codeEnd = uint64_t(sec.rawStart) + sec.rawSize;
            found = true;
        }
    }
    if (!found) return false;
    std::vector<Section> byRaw = im.sections;
    std::sort(byRaw.begin(), byRaw.end(), [](const Section& a, const Section& b) { return a.rawStart < b.rawStart; });
    for (size_t i = 1; i < byRaw.size(); i++)
        if (byRaw[i - 1].rawSize != 0 && uint64_t(byRaw[i - 1].rawStart) + byRaw[i - 1].rawSize > byRaw[i].rawStart)
            return false;  // overlapping sections
    if (relocSize != 0) {
        uint64_t at, end;
        if (relocSize > kMaxHeader || !ToOffset(im.sections, relocRva, &at) ||
            !ToOffset(im.sections, uint64_t(relocRva) + relocSize - 1, &end) || end + 1 - at != relocSize)
            return false;
        std::vector<uint8_t> blocks(relocSize);
        if (!file.ReadAt(at, blocks.data(), blocks.size())) return false;
        for (size_t b = 0; b < blocks.size();) {
            if (blocks.size() - b < 8) return false;
            uint32_t page = Le32(&blocks[b]), bytes = Le32(&blocks[b + 4]);
            if (bytes < 8 || bytes % 2 != 0 || bytes > blocks.size() - b) return false;
            for (size_t e = b + 8; e < b + bytes; e += 2) {
                uint32_t entry = Le16(&blocks[e]), type = entry >> 12;
                uint64_t offset;
                if (type == 0) continue;      // padding
                if (type != 3) return false;  // only HIGHLOW belongs in a 32-bit image
                if (!ToOffset(im.sections, uint64_t(page) + (entry & 0xFFF), &offset) || offset + 4 > size) continue;
                if (im.relocs.size() == kMaxRelocs) return false;
                im.relocs.push_back(uint32_t(offset));
            }
            b += bytes;
        }
        std::sort(im.relocs.begin(), im.relocs.end());
        size_t kept = 0;
        for (uint32_t r : im.relocs)
            if (kept == 0 || r >= im.relocs[kept - 1] + 4ull) im.relocs[kept++] = r;
        im.relocs.resize(kept);
    }
    *out = std::move(im);
    return true;
}

void Rewrite(const Map& map, const uint8_t* raw, uint64_t rawStart, size_t rawLen, uint64_t at, uint8_t* out,
             size_t n) {
    Bytes b{raw, rawStart, rawLen};
    if (at >= rawStart && at - rawStart <= rawLen && rawLen - (at - rawStart) >= n) {
        memcpy(out, raw + (at - rawStart), n);
    } else {
        for (size_t i = 0; i < n; i++) {
            int v = b.At(at + i);
            out[i] = uint8_t(v < 0 ? 0 : v);
        }
    }
    if (n == 0) return;
    const Image& im = map.old;
    // Relocated absolute addresses: old VA -> old offset -> new offset -> new VA.
    for (auto it = RelocFrom(im, at); it != im.relocs.end() && *it < at + n; ++it) {
        uint32_t va;
        uint64_t rva;
        if (Load(b, *it, &va) && NewRva(map, uint32_t(va - im.base), &rva))
            Store(uint32_t(map.newBase + rva), *it, at, out, n);
    }
    // rel32 operands of calls and jumps inside the code section, unless a
    // relocation covers any of their bytes.
    if (im.codeEnd < 5) return;
    uint64_t lo = std::max(at >= 4 ? at - 4 : 0, im.codeStart);
    uint64_t hi = std::min(at + n, im.codeEnd - 4);
    auto r = RelocFrom(im, lo + 1);  // moves on with q: the first relocation ending after q + 1
    for (uint64_t q = lo; q < hi; q++) {
        // The common case, cheaply: a byte that cannot start an operand.
        if (q - rawStart < rawLen && !kOpcodeByte.v[raw[q - rawStart]]) continue;
        if (!Accepted(im, b, q)) continue;
        while (r != im.relocs.end() && *r + 4ull <= q + 1) ++r;
        uint32_t rel;
        uint64_t from, to;
        if ((r != im.relocs.end() && *r <= q + 4) || !Load(b, q + 1, &rel)) continue;
        uint64_t target = q + 5 + uint64_t(int64_t(int32_t(rel)));
        if (target >= im.codeStart && target < im.codeEnd && ToNew(map, q + 1, &from) && ToNew(map, target, &to))
            Store(uint32_t(to - (from + 4)), q + 1, at, out, n);
        q += 4;  // the next four bytes cannot be accepted opcodes
    }
}

// The new base, the new sections (count, then raw start, raw size and RVA
// each), the segment count, then per segment: oldStart minus the previous
// one, the shift (newStart - oldStart) minus the previous shift
// zigzag-coded, and the length; all as LEB128 varints.
std::vector<uint8_t> Serialize(const Map& map) {
    std::vector<uint8_t> out;
    varint::Put(&out, map.newBase);
    varint::Put(&out, map.newSections.size());
    for (const Section& s : map.newSections) {
        varint::Put(&out, s.rawStart);
        varint::Put(&out, s.rawSize);
        varint::Put(&out, s.rva);
        varint::Put(&out, s.virtualSize);
    }
    varint::Put(&out, map.segments.size());
    uint64_t lastOld = 0, lastShift = 0;
    for (const Segment& s : map.segments) {
        uint64_t shift = s.newStart - s.oldStart, d = shift - lastShift;
        varint::Put(&out, s.oldStart - lastOld);
        varint::Put(&out, int64_t(d) < 0 ? ~(d << 1) : d << 1);
        varint::Put(&out, s.length);
        lastOld = s.oldStart;
        lastShift = shift;
    }
    return out;
}

bool Parse(const uint8_t* p, size_t n, uint64_t oldSize, Map* map) {
    Cursor c{p, n};
    uint64_t base, sections, count;
    if (!c.Var(&base) || base > 0xFFFFFFFFu || !c.Var(&sections) || sections > kMaxSections) return false;
    std::vector<Section> news(static_cast<size_t>(sections));
    for (Section& s : news) {
        uint64_t v[4];
        for (uint64_t& x : v)
            if (!c.Var(&x) || x > 0xFFFFFFFFu) return false;
        s = {uint32_t(v[0]), uint32_t(v[1]), uint32_t(v[2]), uint32_t(v[3])};
    }
    if (!c.Var(&count) || count > kMaxSegments) return false;
    std::vector<Segment> segments(static_cast<size_t>(count));
    uint64_t lastOld = 0, lastShift = 0;
    for (Segment& s : segments) {
        uint64_t gap, zig;
        if (!c.Var(&gap) || !c.Var(&zig) || !c.Var(&s.length)) return false;
        if (gap > oldSize - lastOld) return false;
        s.oldStart = lastOld + gap;
        if (s.length > oldSize - s.oldStart) return false;
        lastShift += (zig & 1) ? ~(zig >> 1) : zig >> 1;  // wraps: any shift is harmless
        s.newStart = s.oldStart + lastShift;
        lastOld = s.oldStart;
    }
    if (c.left != 0) return false;
    map->newBase = uint32_t(base);
    map->newSections = std::move(news);
    map->segments = std::move(segments);
    return true;
}

namespace {

// Reads the header in front of the delta from `data` and the old file's
// layout from the old file, as the builder read it; *headerSize: the bytes
// the header took, its length field included.
delta::Result ReadMap(delta::OldReader& old, uint64_t oldSize, delta::InStream& data, uint64_t dataSize, Map* map,
                      uint64_t* headerSize) {
    uint8_t len[4];
    if (dataSize < 4) return delta::Result::corrupt;
    if (!data.Read(len, 4)) return delta::Result::readError;
    uint64_t size = Le32(len);
    if (size > kMaxHeader || size > dataSize - 4) return delta::Result::corrupt;
    std::vector<uint8_t> header(static_cast<size_t>(size));
    if (!data.Read(header.data(), header.size())) return delta::Result::readError;
    if (!Parse(header.data(), header.size(), oldSize, map)) return delta::Result::corrupt;
    if (!ReadImage(old, oldSize, &map->old)) return delta::Result::corrupt;
    *headerSize = 4 + size;
    return delta::Result::ok;
}

}  // namespace

delta::Result Apply(delta::OldReader& old, uint64_t oldSize, delta::InStream& data, uint64_t dataSize,
                    delta::OutStream& out, uint64_t newSize, delta::Copies copies) {
    Map map;
    uint64_t headerSize;
    delta::Result r = ReadMap(old, oldSize, data, dataSize, &map, &headerSize);
    if (r != delta::Result::ok) return r;
    RewritingReader rewritten(old, oldSize, map);
    return delta::Apply(rewritten, oldSize, data, dataSize - headerSize, out, newSize, copies);
}

namespace {

// The caller's Io with every thread's old file rewritten through the map.
class RewritingIo : public segments::Io {
public:
    RewritingIo(segments::Io& raw, uint64_t oldSize, const Map& map) : raw_(raw), oldSize_(oldSize), map_(map) {}
    std::unique_ptr<delta::OldReader> Old() override { return std::make_unique<Owning>(raw_.Old(), oldSize_, map_); }
    std::unique_ptr<delta::InStream> Data(uint64_t offset, uint64_t n) override { return raw_.Data(offset, n); }
    bool WriteAt(uint64_t offset, const void* buf, size_t n) override { return raw_.WriteAt(offset, buf, n); }

private:
    // A rewriting reader that owns the raw reader under it.
    struct Owning : delta::OldReader {
        Owning(std::unique_ptr<delta::OldReader> raw, uint64_t size, const Map& map)
            : raw_(std::move(raw)), rewritten_(*raw_, size, map) {}
        bool ReadAt(uint64_t offset, void* buf, size_t n) override { return rewritten_.ReadAt(offset, buf, n); }
        std::unique_ptr<delta::OldReader> raw_;
        RewritingReader rewritten_;
    };
    segments::Io& raw_;
    uint64_t oldSize_;
    const Map& map_;
};

}  // namespace

delta::Result ApplySegments(segments::Io& io, uint64_t oldSize, uint64_t dataOffset, uint64_t dataSize,
                            uint64_t newSize, unsigned maxThreads) {
    Map map;
    uint64_t headerSize;
    delta::Result r = ReadMap(*io.Old(), oldSize, *io.Data(dataOffset, dataSize), dataSize, &map, &headerSize);
    if (r != delta::Result::ok) return r;
    RewritingIo rewriting(io, oldSize, map);
    return segments::Apply(rewriting, oldSize, dataOffset + headerSize, dataSize - headerSize, newSize,
                           delta::Copies::groups4, maxThreads);
}

}  // namespace core::x86
