#include "payload/prepare.h"
#include <string>
#include <vector>
#include "app/diagnostic.h"
#include "common/ids.h"
#include "common/state.h"
#include "locate/discovery.h"
#include "common/path.h"
#include "payload/container.h"
#include "payload/tempname.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/strings.h"

namespace {

// What this run put on disk, so that clean-up deletes exactly that and
// nothing that merely has the same name.
struct Extracted {
    std::string folder;              // the folder made for the payload; empty if none
    std::vector<std::string> files;  // in extraction order
};
Extracted g_extracted;

const char kTempPrefix[] = "DV503";
const char kPreferredBase[] = "c:\\";

void SetReadyMessage() {
    g_state.message = platform::FormatText(platform::LoadText(IDS_READY), g_state.installFolder);
    if (g_state.diagnostic) AppendDiagnosticSuffix();
}

// Steps 1-4 of the start-up: the install folder, made current, and the text.
bool LocateInstallation() {
    if (!FindInstallFolder(g_state.installFolder)) return false;
    CopyPath(g_state.finalInstallFolder, kPathCap, g_state.installFolder);
    platform::SetCurrentFolder(g_state.installFolder);  // failure is harmless here
    SetReadyMessage();
    return true;
}

// Extracts one block to `path` and remembers the file for clean-up.
bool ExtractOne(const char* carrier, const char* tag, const char* path) {
    if (path[0] == 0) return false;
    if (ExtractPayloadBlock(carrier, tag, path) != 0) return false;
    g_extracted.files.push_back(path);
    return true;
}

// Makes the payload folder and the engine paths; false when no folder of
// our own can be had.
bool MakePayloadFolder() {
    if (!MakeTempFolder(kPreferredBase, kTempPrefix, g_state.tempFolder, kPathCap)) return false;
    g_extracted.folder = g_state.tempFolder;
    // MakeTempFolder leaves room for "\" and a 12-character name.
    JoinPath(g_state.engineProgramPath, kPathCap, g_state.tempFolder, "patch.exe");
    JoinPath(g_state.engineLibraryPath, kPathCap, g_state.tempFolder, "patchw32.dll");
    return true;
}

// Step 8: the engine first, then the patch files in table order.
int ExtractAll(const char* carrier) {
    if (!ExtractOne(carrier, "PEXE", g_state.engineProgramPath)) return kPrepareBadEngine;
    if (!ExtractOne(carrier, "PDLL", g_state.engineLibraryPath)) return kPrepareBadEngine;
    for (const PatchStep* s = g_patchSteps; s->workingFolder; ++s) {
        char path[kPathCap];
        if (!JoinPath(path, sizeof path, g_state.tempFolder, s->fileName)) return kPrepareBadPatch;
        if (!ExtractOne(carrier, s->payloadTag, path)) return kPrepareBadPatch;
    }
    return kPrepareReady;
}

}  // namespace

int PrepareUpdateFrom(const char* carrierPath) {
    RemoveExtractedFiles();  // a second run in one process starts clean
    int result = kPrepareReady;
    if (!LocateInstallation())
        result = kPrepareNotFound;
    else if (!MakePayloadFolder())
        result = kPrepareNoTempName;
    else
        result = ExtractAll(carrierPath);
    // The shared folder is sought in every case, as the user expects the
    // same questions whatever went wrong before.
    if (!FindSharedFolder(g_state.sharedFolder)) result = kPrepareNotFound;
    if (g_state.diagnostic) AppendDiagnosticSuffix();
    // Only a ready start-up ever runs the engine or reaches Cancel/Quit with
    // a payload; otherwise leave nothing behind.
    if (result != kPrepareReady) RemoveExtractedFiles();
    return result;
}

int PrepareUpdate() {
    char self[kPathCap];
    if (!platform::ModulePath(self, sizeof self)) self[0] = 0;  // extraction then fails: result 1
    return PrepareUpdateFrom(self);
}

void RemoveExtractedFiles() {
    for (const std::string& f : g_extracted.files) platform::DeleteFileAt(f.c_str());
    // Removal of a folder someone else put files into fails and leaves it.
    if (!g_extracted.folder.empty()) platform::RemoveFolder(g_extracted.folder.c_str());
    g_extracted = Extracted{};
}
