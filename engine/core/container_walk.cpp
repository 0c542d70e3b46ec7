// The container walk: every length and offset read from the file is checked
// against the bytes known to exist before it is used.
#include "container_walk.h"

#include <cstring>

namespace core::container {

namespace {

uint32_t Le16(const unsigned char* b) { return uint32_t(b[0]) | uint32_t(b[1]) << 8; }
uint32_t Le32(const unsigned char* b) {
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

// PE layout, offsets from the "PE\0\0" signature and from the optional header.
constexpr int64_t kDosHeaderBytes = 64;
constexpr int64_t kLfanewAt = 0x3c;
constexpr int64_t kOptionalSizeAt = 4 + 16;  // SizeOfOptionalHeader in the COFF header
constexpr int64_t kOptionalAt = 4 + 20;
constexpr int64_t kCountAt32 = 92;   // NumberOfRvaAndSizes, PE32
constexpr int64_t kCountAt64 = 108;  // the same, PE32+
constexpr uint32_t kSecurityEntry = 4;
constexpr int64_t kCertificateHeaderBytes = 8;

// The block whose trailer ends at `end`, its head checked against the tail.
// False with *why when there is none.
bool BlockEndingAt(Source& in, int64_t end, Block* b, WalkEnd* why) {
    unsigned char raw[kTrailerBytes];
    if (end < kTrailerBytes) {
        *why = WalkEnd::notATrailer;
        return false;
    }
    if (!in.ReadAt(end - kTrailerBytes, raw, sizeof raw)) {
        *why = WalkEnd::readFailed;
        return false;
    }
    if (!ParseTrailer(raw, end, b)) {
        *why = WalkEnd::notATrailer;
        return false;
    }
    char head[kTagBytes];
    if (!in.ReadAt(b->offset, head, sizeof head)) {
        *why = WalkEnd::readFailed;
        return false;
    }
    if (std::memcmp(head, b->tag, kTagBytes) != 0) {
        *why = WalkEnd::tagMismatch;
        return false;
    }
    return true;
}

}  // namespace

bool IsTagText(const char* text) {
    if (text[0] == 0) return false;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

bool ParseTrailer(const unsigned char raw[kTrailerBytes], int64_t end, Block* b) {
    std::memcpy(b->tag, raw, kTagBytes);
    b->tag[kTagBytes] = 0;
    int64_t length = int32_t(Le32(raw + kTagBytes));
    if (length < kBlockOverhead || length > end || !IsTagText(b->tag)) return false;
    b->offset = end - length;
    b->payload = length - kBlockOverhead;
    return true;
}

bool CertificateTable(Source& in, int64_t fileSize, int64_t* offset) {
    unsigned char dos[kDosHeaderBytes];
    if (fileSize < kDosHeaderBytes || !in.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    int64_t pe = Le32(dos + kLfanewAt);
    unsigned char nt[kOptionalAt + 2];  // up to the optional header's magic
    if (pe > fileSize - int64_t(sizeof nt) || !in.ReadAt(pe, nt, sizeof nt) || std::memcmp(nt, "PE\0\0", 4) != 0)
        return false;
    int64_t optionalSize = Le16(nt + kOptionalSizeAt);
    uint32_t magic = Le16(nt + kOptionalAt);
    int64_t countAt = magic == 0x10b ? kCountAt32 : magic == 0x20b ? kCountAt64 : -1;
    if (countAt < 0) return false;
    int64_t entryAt = countAt + 4 + kSecurityEntry * 8;
    int64_t optional = pe + kOptionalAt;
    if (entryAt + 8 > optionalSize || optional + entryAt + 8 > fileSize) return false;
    unsigned char count[4], entry[8];
    if (!in.ReadAt(optional + countAt, count, 4) || Le32(count) <= kSecurityEntry) return false;
    if (!in.ReadAt(optional + entryAt, entry, 8)) return false;
    int64_t at = Le32(entry), size = Le32(entry + 4);
    if (at == 0 || size < kCertificateHeaderBytes || at + size != fileSize) return false;
    *offset = at;
    return true;
}

Walker::Walker(Source& in, int64_t fileSize) : in_(in), fileSize_(fileSize), containerEnd_(fileSize), pos_(fileSize) {
    if (!CertificateTable(in, fileSize, &table_)) {
        table_ = -1;
        return;
    }
    containerEnd_ = table_;
    // A signer aligns the table to 8 bytes with zeros after the last block;
    // the container ends at the nearest point before those where a whole
    // block ends (pack aligns before signing, so that is the table itself).
    for (int64_t pad = 0; pad < 8 && pad <= table_; ++pad) {
        unsigned char z = 0;
        if (pad > 0 && (!in.ReadAt(table_ - pad, &z, 1) || z != 0)) break;
        Block b;
        WalkEnd why;
        if (BlockEndingAt(in, table_ - pad, &b, &why)) {
            containerEnd_ = table_ - pad;
            break;
        }
    }
    pos_ = containerEnd_;
}

bool Walker::Next(Block* b) {
    if (done_) return false;
    if (fileSize_ < kTrailerBytes) {
        end_ = WalkEnd::tooShort;
    } else if (BlockEndingAt(in_, pos_, b, &end_)) {
        pos_ = b->offset;
        return true;
    }
    done_ = true;
    return false;
}

}  // namespace core::container
