// Volumes: which one a path is on, and how much room it has. See README.md
// for the error convention.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The root of the volume that holds `path` ("C:\", or a mounted folder's
// path), from GetVolumePathNameW; `path` need not exist yet (its nearest
// existing parent counts).
bool VolumeOf(const char* path, std::string& root);

// The bytes this process may still write on the volume of `path` (quotas
// counted).
bool FreeBytes(const char* path, uint64_t* bytes);

}  // namespace platform
