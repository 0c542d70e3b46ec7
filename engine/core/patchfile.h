// Reading and validating patch files (layout in engine/FORMAT.md). Portable;
// no hashing inside: the header carries the expected SHA-256 of the file and
// the entries the expected hashes of the files, and the caller, which holds
// the bytes, checks them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "delta.h"

namespace core::patchfile {

enum class Kind : uint8_t { makeFolder = 1, addFile = 2, changeFile = 3, removeFile = 4, removeFolder = 5 };
// delta: copies coded byte by byte; runs: copies coded as zero runs and
// dirty spans; x86: runs against the old file rewritten by x86::Rewrite.
enum class Method : uint8_t { stored = 0, delta = 1, x86 = 2, runs = 3 };

struct Header {
    uint32_t version;
    uint64_t fileSize;
    uint8_t sha256[32];  // of every byte from kHashedFrom to the end of the file
    uint32_t entryCount;
    uint32_t tableSize;
};

struct Entry {
    Kind kind;
    Method method;
    std::string path;  // UTF-8, '\\' separated, validated by IsSafeRelativePath
    uint64_t oldSize;
    uint8_t oldSha[32];
    uint64_t newSize;
    uint8_t newSha[32];
    uint64_t dataOffset;  // absolute, inside the data area
    uint64_t dataLength;
    // Version 4: the delta data is a segment table and a stream per segment
    // (segments.h), kSegmented in the method byte; else one stream.
    bool segmented;
};

constexpr uint8_t kSegmented = 0x80;

enum class Error { none, badMagic, badVersion, badSize, badTable, badEntry, badPath, duplicatePath, badData };

constexpr size_t kHeaderSize = 56;
constexpr size_t kHashedFrom = 48;
// The version written, and the oldest read (engine/FORMAT.md): 4 may cut a
// file's delta into segments (Entry::segmented) and tells a dirty span's
// groups by other contexts; 3's streams are still decoded as 3 coded them
// (DeltaCopies).
// Any other version is refused: its streams would decode wrongly.
constexpr uint32_t kVersion = 4;
constexpr uint32_t kOldestVersion = 3;
constexpr uint32_t kMaxEntries = 1000000;
constexpr uint32_t kMaxTableSize = 64u << 20;
constexpr size_t kMaxPathBytes = 1024;
constexpr uint8_t kMagic[4] = {0x4B, 0x2A, 0x9A, 0x01};

// Checks the first n bytes of a file of actualFileSize bytes: magic, version,
// recorded size, table bounds. The hash is left to the caller.
Error ParseHeader(const uint8_t* bytes, size_t n, uint64_t actualFileSize, Header* out);

// Parses the n bytes of the entry table (n must equal h.tableSize). Validates
// kinds, methods, sizes, paths, data ranges inside the file and duplicate
// paths (ASCII case-insensitive). out is filled only on success.
Error ParseTable(const uint8_t* table, size_t n, const Header& h, std::vector<Entry>* out);

// Where the data area starts for this table: kHeaderSize + its size.
uint64_t DataStart(const std::vector<Entry>& entries);

// The one writer of patch files (the builder's and the tests'): header and
// entry table, the entries' fields as they are (data offsets absolute), the
// total size recorded as DataStart + dataSize and the hash field zero. The
// caller appends the data and puts the SHA-256 of bytes [kHashedFrom, end)
// at offset 16.
std::vector<uint8_t> WriteHead(const std::vector<Entry>& entries, uint64_t dataSize);

// The path rules of FORMAT.md.
bool IsSafeRelativePath(const std::string& utf8Path);

const char* ErrorText(Error e);

// How the delta streams of an entry of method m (1, 2 or 3) code copies.
inline delta::Copies DeltaCopies(uint32_t version, Method m) {
    if (m == Method::delta) return version >= 4 ? delta::Copies::bytes : delta::Copies::bytes3;
    return version >= 4 ? delta::Copies::groups4 : delta::Copies::groups3;
}

}  // namespace core::patchfile
