// The payload on disk: a folder of the updater's own holding the engine and
// the patch files, extracted from the running executable, and its removal.
#pragma once
#include <string>
#include <vector>
#include "common/state.h"

namespace payload {

enum class ExtractResult {
    kReady,      // the folder holds the engine, its library and every patch file
    kBadEngine,  // the engine program or its library is not in the carrier
    kBadPatch,   // a patch file is not in the carrier
    kNoFolder,   // no folder of our own could be made for the payload
};

// Where the payload went. `extracted` lists what this run put on disk, files
// first in extraction order and the folder last, so that clean-up removes
// exactly that and nothing that merely has the same name.
struct Payload {
    std::string folder;
    std::string engineProgram;  // folder\patch.exe
    std::string engineLibrary;  // folder\patchw32.dll
    std::vector<std::string> extracted;
    // Payload folders of earlier runs that were cut off, removed (see
    // RemoveLeftFolders).
    std::vector<std::string> removedLeftovers;
};

// Makes a private folder (see tempname.h) and extracts into it the engine
// ("PEXE" as patch.exe, "PDLL" as patchw32.dll) and then each step's patch
// file under its name, reading the blocks from `carrier`. Then removes the
// payload folders earlier runs cut off left beside it (call it only holding
// the update lock). Fills `out` as far
// as it got; on any result but kReady what was extracted is removed again.
ExtractResult ExtractPayload(const char* carrier, const common::PatchStep* steps, int stepCount, Payload* out);

// Deletes the files in `extracted`, then the folder if it is empty (a folder
// someone else put files into stays), and clears the list. Safe to repeat.
void RemovePayload(std::vector<std::string>* extracted);

}  // namespace payload
