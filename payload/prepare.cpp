#include "payload/prepare.h"
#include "common/path.h"
#include "payload/container.h"
#include "payload/tempname.h"
#include "platform/dir.h"
#include "platform/file.h"

namespace payload {
using namespace common;

namespace {

const char kTempPrefix[] = "DV503";
const char kPreferredBase[] = "c:\\";

// Extracts one block to `path` and remembers the file for clean-up.
bool ExtractOne(const char* carrier, const char* tag, const std::string& path, Payload* out) {
    if (path.empty() || ExtractPayloadBlock(carrier, tag, path.c_str()) != ExtractCode::kOk) return false;
    out->extracted.insert(out->extracted.end() - 1, path);  // before the folder
    return true;
}

ExtractResult ExtractAll(const char* carrier, const PatchStep* steps, int stepCount, Payload* out) {
    if (!ExtractOne(carrier, "PEXE", out->engineProgram, out)) return ExtractResult::kBadEngine;
    if (!ExtractOne(carrier, "PDLL", out->engineLibrary, out)) return ExtractResult::kBadEngine;
    for (int i = 0; i < stepCount; ++i) {
        if (!ExtractOne(carrier, steps[i].payloadTag, JoinPath(out->folder, steps[i].fileName), out))
            return ExtractResult::kBadPatch;
    }
    return ExtractResult::kReady;
}

}  // namespace

ExtractResult ExtractPayload(const char* carrier, const PatchStep* steps, int stepCount, Payload* out) {
    *out = Payload{};
    std::string folder;
    if (!MakeTempFolder(kPreferredBase, kTempPrefix, folder)) return ExtractResult::kNoFolder;
    out->folder = folder;
    out->extracted.push_back(folder);
    // MakeTempFolder leaves room for "\" and a 12-character name.
    out->engineProgram = JoinPath(folder, "patch.exe");
    out->engineLibrary = JoinPath(folder, "patchw32.dll");
    ExtractResult result = ExtractAll(carrier, steps, stepCount, out);
    if (result != ExtractResult::kReady) RemovePayload(&out->extracted);
    std::vector<std::string> names = {"patch.exe", "patchw32.dll", "patch.err"};
    for (int i = 0; i < stepCount; ++i) names.push_back(steps[i].fileName);
    out->removedLeftovers = RemoveLeftFolders(kPreferredBase, kTempPrefix, folder, names);
    return result;
}

void RemovePayload(std::vector<std::string>* extracted) {
    if (extracted->empty()) return;
    for (size_t i = 0; i + 1 < extracted->size(); ++i) platform::DeleteFileAt((*extracted)[i].c_str());
    platform::RemoveFolder(extracted->back().c_str());
    extracted->clear();
}

}  // namespace payload
