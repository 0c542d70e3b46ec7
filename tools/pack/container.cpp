#include "container.h"
#include <cstring>

namespace pack {

namespace {

// A file held in memory, for the shared walk.
class BytesSource : public core::container::Source {
public:
    explicit BytesSource(const std::string& bytes) : bytes_(bytes) {}
    bool ReadAt(int64_t offset, void* buf, size_t n) override {
        if (offset > static_cast<int64_t>(bytes_.size()) || n > bytes_.size() - offset) return false;
        std::memcpy(buf, bytes_.data() + offset, n);
        return true;
    }

private:
    const std::string& bytes_;
};

}  // namespace

bool ValidTag(const std::string& tag) {
    return tag.size() <= 4 && tag.find('\0') == std::string::npos && core::container::IsTagText(tag.c_str());
}

std::string StoredTag(const std::string& tag) {
    std::string s = tag.substr(0, 4);
    s.resize(4, '\0');
    return s;
}

Walk WalkContainer(const std::string& bytes) {
    BytesSource source(bytes);
    int64_t size = static_cast<int64_t>(bytes.size());
    core::container::Walker walker(source, size);
    Walk w{{}, WalkEnd::notATrailer, 0, size, walker.table()};
    core::container::Block b;
    while (walker.Next(&b)) w.blocks.push_back(b);
    w.end = walker.end();
    w.endOffset = walker.position();
    return w;
}

bool Sound(const Walk& w) { return w.end == WalkEnd::notATrailer && !w.blocks.empty(); }

bool EndsOnValidTrailer(const std::string& image) {
    int64_t size = static_cast<int64_t>(image.size());
    core::container::Block b;
    return size >= kTrailerBytes &&
           core::container::ParseTrailer(reinterpret_cast<const unsigned char*>(image.data() + size - kTrailerBytes),
                                         size, &b);
}

std::string MakeBlock(const std::string& tag, const std::string& payload) {
    std::string stored = StoredTag(tag);
    uint32_t length = static_cast<uint32_t>(payload.size() + kBlockOverhead);
    std::string lenBytes(4, '\0');
    for (int i = 0; i < 4; ++i) lenBytes[i] = static_cast<char>((length >> (8 * i)) & 0xff);
    return stored + payload + stored + lenBytes;
}

const core::container::Block* FindBlock(const Walk& w, const std::string& tag) {
    if (!ValidTag(tag)) return nullptr;
    std::string stored = StoredTag(tag);
    for (const core::container::Block& b : w.blocks)
        if (std::memcmp(b.tag, stored.data(), 4) == 0) return &b;
    return nullptr;
}

const char* Describe(WalkEnd e) {
    switch (e) {
    case WalkEnd::notATrailer: return "ends on bytes that are not a trailer";
    case WalkEnd::tagMismatch: return "damaged: a head tag differs from its tail tag";
    case WalkEnd::tooShort: return "file shorter than one trailer";
    case WalkEnd::readFailed: return "read failed";
    }
    return "?";
}

}  // namespace pack
