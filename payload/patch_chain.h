// The three patch files as a chain: their entry tables read from the payload
// folder, and an installation on disk held against them (which steps it has
// had, whether the rest will apply, what the rest will touch). Reads only.
#pragma once
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

}  // namespace payload
