#include "container.h"
#include <cstring>

namespace pack {

namespace {

bool Alnum(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// The stored four bytes as text: up to the first zero byte.
std::string TagText(const char* raw) {
    size_t n = 0;
    while (n < 4 && raw[n]) ++n;
    return std::string(raw, n);
}

bool TextIsAlnum(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!Alnum(c)) return false;
    return true;
}

int32_t Le32(const unsigned char* b) {
    return static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

bool ReadAt(std::istream& in, int64_t offset, char* buf, std::streamsize n) {
    if (offset < 0) return false;
    in.clear();
    in.seekg(offset);
    in.read(buf, n);
    return in.gcount() == n;
}

bool TrailerValid(const std::string& tag, int64_t length, int64_t consumed, int64_t size) {
    return length >= kBlockOverhead && consumed + length <= size && TextIsAlnum(tag);
}

}  // namespace

bool ValidTag(const std::string& tag) { return tag.size() <= 4 && TextIsAlnum(tag); }

std::string StoredTag(const std::string& tag) {
    std::string s = tag.substr(0, 4);
    s.resize(4, '\0');
    return s;
}

Walk WalkContainer(std::istream& in) {
    Walk w{{}, WalkEnd::TooShort, 0, 0};
    in.clear();
    in.seekg(0, std::ios::end);
    int64_t size = static_cast<int64_t>(in.tellg());
    if (size < 0) { w.end = WalkEnd::ReadFailed; return w; }
    w.fileSize = w.endOffset = size;
    if (size < kTrailerBytes) return w;
    int64_t consumed = 0;
    for (;;) {
        w.endOffset = size - consumed;
        unsigned char raw[8];
        if (w.endOffset < kTrailerBytes) { w.end = WalkEnd::NotATrailer; return w; }
        if (!ReadAt(in, w.endOffset - kTrailerBytes, reinterpret_cast<char*>(raw), 8)) { w.end = WalkEnd::ReadFailed; return w; }
        std::string tag = TagText(reinterpret_cast<char*>(raw));
        int64_t length = Le32(raw + 4);
        if (!TrailerValid(tag, length, consumed, size)) { w.end = WalkEnd::NotATrailer; return w; }
        int64_t start = size - consumed - length;
        char head[4];
        if (!ReadAt(in, start, head, 4)) { w.end = WalkEnd::ReadFailed; return w; }
        if (std::memcmp(head, raw, 4) != 0) { w.end = WalkEnd::TagMismatch; return w; }
        w.blocks.push_back({tag, start, length - kBlockOverhead});
        consumed += length;
    }
}

bool EndsOnValidTrailer(const std::string& image) {
    int64_t size = static_cast<int64_t>(image.size());
    if (size < kTrailerBytes) return false;
    const unsigned char* t = reinterpret_cast<const unsigned char*>(image.data() + size - kTrailerBytes);
    return TrailerValid(TagText(reinterpret_cast<const char*>(t)), Le32(t + 4), 0, size);
}

std::string MakeBlock(const std::string& tag, const std::string& payload) {
    std::string stored = StoredTag(tag);
    uint32_t length = static_cast<uint32_t>(payload.size() + kBlockOverhead);
    std::string lenBytes(4, '\0');
    for (int i = 0; i < 4; ++i) lenBytes[i] = static_cast<char>((length >> (8 * i)) & 0xff);
    return stored + payload + stored + lenBytes;
}

const BlockInfo* FindBlock(const Walk& w, const std::string& tag) {
    for (const BlockInfo& b : w.blocks)
        if (b.tag == tag) return &b;
    return nullptr;
}

const char* Describe(WalkEnd e) {
    switch (e) {
        case WalkEnd::NotATrailer: return "ends on bytes that are not a trailer";
        case WalkEnd::TagMismatch: return "damaged: a head tag differs from its tail tag";
        case WalkEnd::TooShort: return "file shorter than one trailer";
        case WalkEnd::ReadFailed: return "read failed";
    }
    return "?";
}

}  // namespace pack
