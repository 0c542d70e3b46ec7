#include "app/startup.h"
#include <string>
#include "app/message.h"
#include "common/event_log.h"
#include "common/ids.h"
#include "common/path.h"
#include "locate/discovery.h"
#include "payload/prepare.h"
#include "platform/file.h"

namespace app {
using namespace common;
using namespace locate;
using namespace payload;

namespace {

// "/dir" as typed: quotes and a trailing backslash (not a drive root's) go,
// and a relative folder is taken from the current one at start-up: every
// later step compares and rewrites full paths. Only a folder with the old
// program in it is taken: "/dir D:" must not make a drive's root the
// installation that is copied into, patched and moved.
bool GivenInstallFolder(const char* given, std::string& dest) {
    std::string folder = given, full;
    StripQuotes(folder);
    if (folder.size() == 2 && folder[1] == ':') folder += "\\";  // "E:" means the root here
    if (!platform::FullPath(folder.c_str(), full)) return false;
    if (full.size() > 3 && full.back() == '\\') full.pop_back();
    if (!HoldsInstallation(full)) return false;
    dest = full;
    return true;
}

StartupResult Extract(const char* carrier) {
    Payload payload;
    ExtractResult r = ExtractPayload(carrier, g_patchSteps, kPatchStepCount, &payload);
    g_state.extracted = payload.extracted;
    g_state.tempFolder = payload.folder;
    for (const std::string& f : payload.removedLeftovers)
        LogEvent("removed the payload folder of an earlier run: " + f);
    for (const std::string& f : payload.extracted) LogEvent("extracted " + f);
    switch (r) {
    case ExtractResult::kReady: break;
    case ExtractResult::kNoFolder: return StartupResult::kNoFolder;
    default: return StartupResult::kBadBuild;
    }
    g_state.engineProgramPath = payload.engineProgram;
    g_state.engineLibraryPath = payload.engineLibrary;
    return StartupResult::kReady;
}

std::string DoneList(const UpdateRecord& r) {
    std::string done;
    for (int p = 0; p < static_cast<int>(Phase::kCount); ++p)
        if (r.Done(static_cast<Phase>(p)))
            done += (done.empty() ? "" : ", ") + std::string(PhaseKey(static_cast<Phase>(p)));
    return done.empty() ? "nothing yet" : done;
}

// What start-up can tell of a record without reading the installation:
// whether what it names is there at all, and only once. Empty when it may be
// followed (the preflight then proves it by the hashes); else what is there.
std::string WhyNotFollowed(const UpdateRecord& r) {
    bool moves = r.relocate && !PathsEqual(r.installFolder, r.finalInstallFolder);
    bool oldThere = platform::IsFolder(r.installFolder.c_str());
    bool newThere = moves && platform::IsFolder(r.finalInstallFolder.c_str());
    if (!oldThere && !newThere)
        return moves ? "neither " + r.installFolder + " nor " + r.finalInstallFolder + " is there any more"
                     : r.installFolder + " is not there any more";
    bool oldProgram = FileExists(JoinPath(r.installFolder, "Kestrin.exe"));
    bool newProgram = newThere && (FileExists(JoinPath(r.finalInstallFolder, "Kestrin.exe")) ||
                                   FileExists(JoinPath(r.finalInstallFolder, "Dovetra.exe")));
    if (oldProgram && newProgram)
        return "Kestrin is installed in " + r.installFolder + " again, while the update had moved on to " +
               r.finalInstallFolder;
    return "";
}

// The update under way, from its record: its folders, as they were when it
// began, and where the installation is now.
StartupResult Resume(const char* carrier, const char* given) {
    const UpdateRecord& r = g_state.record;
    g_state.resumed = true;
    g_state.installFolder = r.installFolder;
    g_state.sharedFolder = r.sharedFolder;
    g_state.finalInstallFolder = r.finalInstallFolder;
    LogEvent("resuming the interrupted update of " + r.installFolder + " (record " + g_state.recordPath +
             "; done: " + DoneList(r) + ")");
    if (given[0]) LogEvent(std::string("/dir ") + given + " is not used: the interrupted update is finished first");
    std::string now = r.relocate && r.Done(Phase::kMove) ? r.finalInstallFolder : r.installFolder;
    SetDialogMessage(IDS_RESUME, now.c_str());
    return Extract(carrier);
}

}  // namespace

Ending EndingOf(StartupResult r) {
    switch (r) {
    case StartupResult::kReady: return Ending::kUpdated;
    case StartupResult::kBadBuild: return Ending::kBadBuild;
    case StartupResult::kNoFolder: return Ending::kInitFailed;
    case StartupResult::kNotFound: return Ending::kNotFound;
    case StartupResult::kDamagedRecord: return Ending::kDamagedRecord;
    case StartupResult::kProfilesDisagree: return Ending::kCannotUpdate;
    }
    return Ending::kInitFailed;
}

std::string DamagedRecordText() {
    if (!g_state.staleRecordPath.empty())
        return "The record of an interrupted update, \"" + g_state.staleRecordPath +
               "\", is not followed: " + g_state.staleRecordWhy +
               ". No Kestrin 5.0 installation was found to update instead. Nothing has been changed.\r\n\r\n"
               "Check the installation; to start afresh, delete that file and run the updater again.";
    return "The record of an interrupted update, \"" + g_state.recordPath +
           "\", is not used: " + (g_state.recordProblem.empty() ? "it cannot be read" : g_state.recordProblem) +
           ". So it is not known how far that update got. Nothing has been changed.\r\n\r\n"
           "Check the installation; to start the update afresh, delete that file and run the updater again.";
}

StartupResult PrepareStartup(const char* carrier, const char* folder) {
    RemoveExtractedFiles();  // a second start-up in one process starts clean
    g_state.payloadReady = false;
    g_state.resumed = false;
    g_state.staleRecordPath.clear();
    g_state.staleRecordWhy.clear();
    StartupResult result = StartupResult::kReady;
    switch (FindRecord(&g_state.record, &g_state.recordPath, &g_state.recordProblem)) {
    case RecordState::kDamaged: LogEvent("start-up: " + DamagedRecordText()); return StartupResult::kDamagedRecord;
    case RecordState::kFound:
        g_state.staleRecordWhy = WhyNotFollowed(g_state.record);
        if (!g_state.staleRecordWhy.empty()) {
            // Told, not followed: the machine is searched as with no record,
            // and an update that begins replaces it.
            g_state.staleRecordPath = g_state.recordPath;
            g_state.recordPath.clear();
            g_state.record = UpdateRecord{};
            LogEvent("start-up: the record of an interrupted update, " + g_state.staleRecordPath +
                     ", is not followed: " + g_state.staleRecordWhy + "; the installation is looked for afresh");
            break;
        }
        result = Resume(carrier, folder);
        if (result != StartupResult::kReady) RemoveExtractedFiles();
        g_state.payloadReady = result == StartupResult::kReady;
        return result;
    case RecordState::kNone: break;
    }
    bool found =
        folder[0] ? GivenInstallFolder(folder, g_state.installFolder) : FindInstallFolder(g_state.installFolder);
    if (!found) {
        result = StartupResult::kNotFound;
    } else {
        g_state.finalInstallFolder = g_state.installFolder;
        LogEvent("install folder: " + g_state.installFolder);
        result = Extract(carrier);
    }
    std::string why;
    SharedSearch shared = FindSharedFolder(g_state.sharedFolder, why);
    if (!why.empty()) LogEvent("shared folder search: " + why);
    if (shared == SharedSearch::kDisagree) {
        g_state.failure = "Nothing has been changed: " + why +
                          ". Set \"Vantor Directory\" of each to the one "
                          "shared folder, or remove it where it is wrong, and run the updater again.";
        result = StartupResult::kProfilesDisagree;
    } else if (shared == SharedSearch::kNotFound) {
        result = StartupResult::kNotFound;
    } else {
        LogEvent("shared folder: " + g_state.sharedFolder);
    }
    if (found) SetDialogMessage(IDS_READY, g_state.installFolder.c_str());
    // Nothing found in place of a record not followed: the record is named.
    if (result == StartupResult::kNotFound && !g_state.staleRecordPath.empty()) result = StartupResult::kDamagedRecord;
    if (result != StartupResult::kReady) RemoveExtractedFiles();
    g_state.payloadReady = result == StartupResult::kReady;
    return result;
}

bool AcceptInstallFolder(const std::string& folder) {
    if (!platform::IsFolder(folder.c_str())) return false;
    g_state.installFolder = folder;
    g_state.finalInstallFolder = folder;
    SetDialogMessage(IDS_READY, g_state.installFolder.c_str());
    LogEvent("install folder chosen: " + folder);
    return true;
}

void RemoveExtractedFiles() {
    RemovePayload(&g_state.extracted);
    g_state.payloadReady = false;
}

std::string RunningExecutable() {
    std::string self;
    return platform::ModulePath(self) ? self : "";
}

}  // namespace app
