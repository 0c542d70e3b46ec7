// RenameProductItems: the rename tables, carried out on full paths.
#include <cstddef>
#include <string>
#include "common/event_log.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/renames.h"
#include "platform/dir.h"
#include "platform/file.h"

namespace migrate {
using namespace common;

namespace {

struct Rename {
    const char* oldName;
    const char* newName;
};

// Renamed in the shared folder.
const Rename kPreferenceFiles[] = {
    {"Kestrin 5 Assistants Cache.prf", "Dovetra 5 Assistants Cache.prf"},
    {"Kestrin 5 ButtonBars.prf", "Dovetra 5 ButtonBars.prf"},
    {"Kestrin 5 Stationery.prf", "Dovetra 5 Stationery.prf"},
    {"Kestrin 5 Macros.prf", "Dovetra 5 Macros.prf"},
    {"Kestrin 5 Preferences.prf", "Dovetra 5 Preferences.prf"},
    {"Kestrin 5 Assistant Prefs.prf", "Dovetra 5 Assistant Prefs.prf"},
    {"Kestrin 5 Assistant.prf", "Dovetra 5 Assistant.prf"},
    {"Kestrin 5 Palettes.prf", "Dovetra 5 Palettes.prf"},
};
const Rename kLabels = {"Kestrin Labels", "Dovetra Labels"};

// Renamed in the final install folder.
const Rename kInstallItems[] = {
    {"Kestrin.exe", "Dovetra.exe"},
    kLabels,
    {"Kestrin Assistants", "Dovetra Assistants"},
    {"Kestrin Libraries", "Dovetra Libraries"},
    {"Kestrin Stationery", "Dovetra Stationery"},
    {"Kestrin Styles", "Dovetra Styles"},
    {"Kestrin Translators", "Dovetra Translators"},
};

constexpr size_t kPreferenceCount = sizeof kPreferenceFiles / sizeof kPreferenceFiles[0];

// folder + "\" + name; false for an empty folder, which would name the
// drive's root instead.
bool JoinIn(char* out, const char* folder, const char* name) {
    return folder[0] != 0 && JoinPath(out, kPathCap, folder, name);
}

// A missing old item or an existing new one leaves both as they are.
void RenameIn(const char* folder, const Rename& r) {
    char from[kPathCap], to[kPathCap];
    if (JoinIn(from, folder, r.oldName) && JoinIn(to, folder, r.newName) && platform::MoveItem(from, to))
        LogEvent(std::string("renamed ") + from + " to " + r.newName);
}

bool ExistsIn(const char* folder, const char* name) {
    char path[kPathCap];
    return JoinIn(path, folder, name) && FileExists(path);
}

// Deletes the install folder's copy of a preference file when the shared
// folder's own file, renamed or not, exists and is another file.
void DeleteCopy(const char* sharedFolder, const char* finalInstallFolder, const Rename& r) {
    char copy[kPathCap], kept[kPathCap];
    const char* keptName = ExistsIn(sharedFolder, r.oldName) ? r.oldName : r.newName;
    if (!JoinIn(copy, finalInstallFolder, r.oldName) || !JoinIn(kept, sharedFolder, keptName)) return;
    bool same = true;
    if (platform::SameFile(copy, kept, &same) && !same && platform::DeleteFileAt(copy))
        LogEvent(std::string("deleted the copy ") + copy);
}

}  // namespace

bool RenameProductItems(const char* sharedFolder, const char* finalInstallFolder) {
    bool copied[kPreferenceCount];
    for (size_t i = 0; i < kPreferenceCount; ++i) {
        copied[i] = ExistsIn(sharedFolder, kPreferenceFiles[i].oldName);
        RenameIn(sharedFolder, kPreferenceFiles[i]);
    }
    RenameIn(sharedFolder, kLabels);
    for (const Rename& r : kInstallItems) RenameIn(finalInstallFolder, r);
    for (size_t i = 0; i < kPreferenceCount; ++i)
        if (copied[i]) DeleteCopy(sharedFolder, finalInstallFolder, kPreferenceFiles[i]);
    platform::SetCurrentFolder(finalInstallFolder);
    const Rename& program = kInstallItems[0];
    return ExistsIn(finalInstallFolder, program.newName) && !ExistsIn(finalInstallFolder, program.oldName);
}

}  // namespace migrate
