// Which programs hold files open, through the Restart Manager. See README.md
// for the error convention.
#pragma once
#include <string>
#include <vector>

namespace platform {

// Fills `programs` with the names of the programs (their descriptive names,
// or their image names) that hold any of `files` open. The Restart Manager
// is loaded from the system folder when first needed; where it is missing,
// or names nobody (as under Wine, where it is a stub), `programs` stays
// empty and the call still succeeds: callers then name the files alone.
bool ProgramsUsing(const std::vector<std::string>& files, std::vector<std::string>& programs);

}  // namespace platform
