// Start-up: the install folder (from the record of an update under way,
// "/dir", the registry or the user), the payload extracted into a folder of
// our own, and the shared folder.
#pragma once
#include <string>
#include "common/state.h"

namespace app {

enum class StartupResult {
    kReady,             // everything found and extracted: an update can begin
    kBadBuild,          // the engine or a patch file is missing from the updater
    kNoFolder,          // no folder of our own for the payload ("Initialization error")
    kNotFound,          // the install or shared folder was not found or not chosen
    kDamagedRecord,     // an update record is there but cannot be read or trusted, or it was not
                        // followed (staleRecordPath) and no installation was found instead
    kProfilesDisagree,  // the user profiles name different shared folders (g_state.failure says which)
};

// The ending a start-up that is not ready leads to.
common::Ending EndingOf(StartupResult r);

// Fills installFolder, finalInstallFolder, tempFolder, the engine paths,
// sharedFolder, payloadReady, the record and the message of g_state, reading
// the payload from `carrier` (the running executable).
// An update record (an update under way, cut off) comes first: its folders
// are taken without asking or searching, `folder` included, and
// g_state.resumed is set. A record whose installation is not there (neither
// its old folder nor its new one), or is there twice (Kestrin installed
// again in the old folder after the update had moved on), is not followed:
// the log says why (g_state.staleRecordPath, staleRecordWhy) and the search
// goes on as with no record, `folder` included; an update that begins then
// replaces the record. Otherwise `folder`, when not empty, is the install
// folder given by "/dir": the search and its question are skipped, and the
// folder is accepted only when it holds "Kestrin.exe". The shared folder is
// sought in every case, as the user expects the same questions whatever went
// wrong before. On any result but kReady nothing extracted is left behind.
StartupResult PrepareStartup(const char* carrier, const char* folder);

// The install folder the user chose with "Change folder": it becomes the
// install and final install folder and the message.
bool AcceptInstallFolder(const std::string& folder);

// The running executable's path, which carries the payload; empty when it
// cannot be had (extraction then fails as for a bad build).
std::string RunningExecutable();

// Removes whatever start-up extracted; safe to repeat and when nothing was.
void RemoveExtractedFiles();

// What the user or the log is told of a damaged record at g_state.recordPath.
std::string DamagedRecordText();

}  // namespace app
