// The SHA-256 of a file on disk, read through the engine's File.
// Error convention: bool; on false GetLastError() holds the read's error.
#pragma once
#include <cstdint>

#include "sha256.h"  // engine/core

namespace eng {

class File;
// Hashes a whole open file from its start with a fixed buffer; *size gets
// its length.
bool HashFile(const File& file, core::sha256::Digest* out, uint64_t* size);

}  // namespace eng
