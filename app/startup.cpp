#include "app/startup.h"
#include <cstring>
#include <string>
#include "app/message.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "locate/discovery.h"
#include "payload/prepare.h"
#include "platform/dir.h"
#include "platform/file.h"

namespace app {
using namespace common;
using namespace locate;
using namespace payload;

namespace {

bool StoreFolder(char* field, const std::string& path) { return CopyPath(field, kPathCap, path.c_str()); }

// "/dir" as typed: quotes and a trailing backslash (not a drive root's) go,
// and a relative folder is taken from the current one at start-up: every
// later step compares and rewrites full paths. Only a folder with the old
// program in it is taken: "/dir D:" must not make a drive's root the
// installation that is copied into, patched and moved.
bool GivenInstallFolder(const char* given, char* dest) {
    char folder[kPathCap], full[kPathCap];
    if (!CopyPath(folder, sizeof folder, given)) return false;
    StripQuotes(folder);
    if (std::strlen(folder) == 2 && folder[1] == ':') std::strcat(folder, "\\");  // "E:" means the root here
    if (!platform::FullPath(folder, full, sizeof full)) return false;
    size_t n = std::strlen(full);
    if (n > 3 && full[n - 1] == '\\') full[n - 1] = 0;
    return HoldsInstallation(full) && CopyPath(dest, kPathCap, full);
}

StartupResult Extract(const char* carrier) {
    Payload payload;
    ExtractResult r = ExtractPayload(carrier, g_patchSteps, kPatchStepCount, &payload);
    g_state.extracted = payload.extracted;
    StoreFolder(g_state.tempFolder, payload.folder);
    for (const std::string& f : payload.extracted) LogEvent("extracted " + f);
    switch (r) {
    case ExtractResult::kReady: break;
    case ExtractResult::kNoFolder: return StartupResult::kNoFolder;
    default: return StartupResult::kBadBuild;
    }
    if (!StoreFolder(g_state.engineProgramPath, payload.engineProgram) ||
        !StoreFolder(g_state.engineLibraryPath, payload.engineLibrary))
        return StartupResult::kNoFolder;
    return StartupResult::kReady;
}

}  // namespace

Ending EndingOf(StartupResult r) {
    switch (r) {
    case StartupResult::kReady: return Ending::kUpdated;
    case StartupResult::kBadBuild: return Ending::kBadBuild;
    case StartupResult::kNoFolder: return Ending::kInitFailed;
    case StartupResult::kNotFound: return Ending::kNotFound;
    }
    return Ending::kInitFailed;
}

StartupResult PrepareStartup(const char* carrier, const char* folder) {
    RemoveExtractedFiles();  // a second start-up in one process starts clean
    g_state.payloadReady = false;
    StartupResult result = StartupResult::kReady;
    bool found =
        folder[0] ? GivenInstallFolder(folder, g_state.installFolder) : FindInstallFolder(g_state.installFolder);
    if (!found) {
        result = StartupResult::kNotFound;
    } else {
        CopyPath(g_state.finalInstallFolder, kPathCap, g_state.installFolder);
        platform::SetCurrentFolder(g_state.installFolder);  // failure is harmless here
        LogEvent(std::string("install folder: ") + g_state.installFolder);
        result = Extract(carrier);
    }
    if (!FindSharedFolder(g_state.sharedFolder)) {
        result = StartupResult::kNotFound;
    } else {
        LogEvent(std::string("shared folder: ") + g_state.sharedFolder);
    }
    if (found) SetDialogMessage(IDS_READY, g_state.installFolder);
    if (result != StartupResult::kReady) RemoveExtractedFiles();
    g_state.payloadReady = result == StartupResult::kReady;
    return result;
}

bool AcceptInstallFolder(const char* folder) {
    if (!platform::SetCurrentFolder(folder)) return false;
    CopyPath(g_state.installFolder, kPathCap, folder);
    CopyPath(g_state.finalInstallFolder, kPathCap, folder);
    SetDialogMessage(IDS_READY, g_state.installFolder);
    LogEvent(std::string("install folder chosen: ") + folder);
    return true;
}

void RemoveExtractedFiles() {
    RemovePayload(&g_state.extracted);
    g_state.payloadReady = false;
}

std::string RunningExecutable() {
    char self[kPathCap];
    return platform::ModulePath(self, sizeof self) ? self : "";
}

}  // namespace app
