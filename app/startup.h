// Start-up: the install folder (from "/dir", the registry or the user), the
// payload extracted into a folder of our own, and the shared folder.
#pragma once
#include <string>
#include "common/state.h"

namespace app {

enum class StartupResult {
    kReady,     // everything found and extracted: an update can begin
    kBadBuild,  // the engine or a patch file is missing from the updater
    kNoFolder,  // no folder of our own for the payload ("Initialization error")
    kNotFound,  // the install or shared folder was not found or not chosen
};

// The ending a start-up that is not ready leads to.
common::Ending EndingOf(StartupResult r);

// Fills installFolder, finalInstallFolder, tempFolder, the engine paths,
// sharedFolder, payloadReady and the message of g_state, reading the payload
// from `carrier` (the running executable). `folder`, when not empty, is the
// install folder given by "/dir": the search and its question are skipped,
// and the folder is accepted as "Change folder" accepts one, when it exists.
// The shared folder is sought in every case, as the user expects the same
// questions whatever went wrong before. On any result but kReady nothing
// extracted is left behind.
StartupResult PrepareStartup(const char* carrier, const char* folder);

// The install folder the user chose with "Change folder": it becomes the
// install and final install folder, the current folder and the message.
// False, changing nothing, when the folder cannot be entered.
bool AcceptInstallFolder(const char* folder);

// The running executable's path, which carries the payload; empty when it
// cannot be had (extraction then fails as for a bad build).
std::string RunningExecutable();

// Removes whatever start-up extracted; safe to repeat and when nothing was.
void RemoveExtractedFiles();

}  // namespace app
