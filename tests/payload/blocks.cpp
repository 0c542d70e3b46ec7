#include "blocks.h"

std::string Le32(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((u >> (8 * i)) & 0xff);
    return s;
}

std::string RawBlock(const std::string& head, const std::string& payload, const std::string& tail, int32_t length) {
    return head + payload + tail + Le32(length);
}

std::string Block(const std::string& tag, const std::string& payload) {
    return RawBlock(tag, payload, tag, static_cast<int32_t>(payload.size() + 12));
}

std::string Image() { return std::string("MZ\x90\x00image", 9) + std::string(16, '\0'); }

std::string Filler(size_t n, unsigned char seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(0x80 | ((seed + i * 7) & 0x3f));
    return s;
}
