// Scratch files for the payload tests: a folder below the test's working
// folder, emptied for each test, and containers built byte by byte.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include <vector>

// A fresh, empty folder "<cwd>\<name>" (any old one is removed with its contents).
std::string FreshFolder(const std::string& name);
// Removes a folder and everything below it.
void RemoveTree(const std::string& path);

void WriteBytes(const std::string& path, const std::string& bytes);
// The whole file; "<missing>" when it cannot be read.
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);

// One block: head tag, payload, tail tag, length N + 12 (little-endian).
std::string Block(const std::string& tag, const std::string& payload);
// The same with every field given: for damaged blocks.
std::string RawBlock(const std::string& head, const std::string& payload, const std::string& tail,
                     int32_t length);
std::string Le32(int32_t v);
// An executable image stand-in that ends on zero bytes, as the real one does.
std::string Image();
// `n` bytes of a fixed pattern that holds no letters, so nothing inside a
// payload can pass for a trailer.
std::string Filler(size_t n, unsigned char seed);
