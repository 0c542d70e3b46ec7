// A folder tree as the builder sees it: every folder and regular file below
// a root, by relative path, sorted.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace patchbuild {

struct TreeItem {
    std::string path;  // relative, '\\' separated, as it goes into a patch file
    bool folder;
    uint64_t size;  // files only
};

// Walks root. false with *error set when a folder cannot be read or a name
// cannot be carried in a patch file (see IsSafeRelativePath). Symbolic links
// are not followed: they are reported in *skipped and left out.
bool ReadTree(const std::string& root, std::vector<TreeItem>* items, std::vector<std::string>* skipped,
              std::string* error);

// The on-disk path of an item below root.
std::string DiskPath(const std::string& root, const std::string& itemPath);

}  // namespace patchbuild
