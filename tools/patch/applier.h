// Applies a patch file to a folder on the build machine with the engine's
// portable core: the round-trip check for the builder and the host figure of
// the benchmark. Not transactional: on failure the folder may be half done.
#pragma once
#include <string>

namespace patchbuild {

// false with *error set when the patch is damaged, does not fit the folder
// (a file's size or hash differs from what the patch expects), or a file
// operation fails.
bool ApplyPatch(const std::string& root, const std::string& patchPath, std::string* error);

}  // namespace patchbuild
