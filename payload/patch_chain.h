// The three patch files as a chain: their entry tables read from the payload
// folder, and an installation on disk held against them (which steps it has
// had, whether the rest will apply, what the rest will touch). Reads only.
#pragma once
#include <functional>
#include <string>
#include <vector>
#include "common/state.h"
#include "engine/core/chain.h"
#include "engine/core/patchfile.h"

namespace payload {

using PatchTables = std::vector<std::vector<core::patchfile::Entry>>;

// Reads each step's patch file from `payloadFolder`, checks it whole (size,
// SHA-256 of its contents, entry table) and keeps its entries. False, with
// `why` naming the file and the fault, when one cannot be read or is damaged.
bool ReadPatchTables(const std::string& payloadFolder, const common::PatchStep* steps, int count, PatchTables* out,
                     std::string* why);

// Holds `installFolder` against the chain (core::chain::Analyze). With
// `sharedFolder` not empty, the shared folder's files stand in for what its
// copy into the install folder will bring before the first step. A file
// that another program holds open without sharing cannot be read: it counts
// as unreadable for the analysis, and its full path is added to `held`.
core::chain::Analysis AnalyzeInstallation(const PatchTables& tables, const std::string& installFolder,
                                          const std::string& sharedFolder, std::vector<std::string>* held);

// A path of the installation under another name (its new product name), or
// the path itself when it has none.
using NameMap = std::function<std::string(const std::string&)>;

// The same, for an installation that may lie in several folders (a move cut
// off: each item in the first of `roots` that holds it) and under its new
// names (a path missing under its own name is looked for as `rename` gives
// it; `rename` may be empty).
core::chain::Analysis AnalyzeInstallationIn(const PatchTables& tables, const std::vector<std::string>& roots,
                                            const std::string& sharedFolder, const NameMap& rename,
                                            std::vector<std::string>* held);

// The SHA-256 of `path` (relative, as the entries spell it, ASCII letters
// without case) after the last step that names it as a file changed or
// added. False when no step leaves a file there.
bool LastVersion(const PatchTables& tables, const std::string& path, uint8_t sha[32]);

// Whether the file at `fullPath` has the SHA-256 `sha` (false when it cannot
// be read).
bool FileHasHash(const std::string& fullPath, const uint8_t sha[32]);

}  // namespace payload
