// Containers built byte by byte for the payload tests.
#pragma once
#include <cstdint>
#include <string>

// One block: head tag, payload, tail tag, length N + 12 (little-endian).
std::string Block(const std::string& tag, const std::string& payload);
// The same with every field given: for damaged blocks.
std::string RawBlock(const std::string& head, const std::string& payload, const std::string& tail, int32_t length);
std::string Le32(int32_t v);
// An executable image stand-in that ends on zero bytes, as the real one does.
std::string Image();
// `n` bytes of a fixed pattern that holds no letters, so nothing inside a
// payload can pass for a trailer.
std::string Filler(size_t n, unsigned char seed);
