// RenameProductItems: the rename tables, carried out on full paths.
#include <cstddef>
#include <string>
#include "common/event_log.h"
#include "common/path.h"
#include "migrate/renames.h"
#include "platform/error.h"
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

// folder + "\" + name; empty for an empty folder, which would name the
// drive's root instead.
std::string JoinIn(const std::string& folder, const char* name) {
    return folder.empty() ? std::string() : JoinPath(folder, name);
}

// A missing old item or an existing new one leaves both as they are. On
// false the system's reason is in GetLastError().
bool RenameIn(const std::string& folder, const Rename& r) {
    std::string from = JoinIn(folder, r.oldName), to = JoinIn(folder, r.newName);
    if (from.empty() || !platform::MoveItem(from.c_str(), to.c_str())) return false;
    LogEvent("renamed " + from + " to " + r.newName);
    return true;
}

bool ExistsIn(const std::string& folder, const char* name) {
    std::string path = JoinIn(folder, name);
    return !path.empty() && FileExists(path);
}

// Deletes the install folder's copy of a preference file when the shared
// folder's own file, renamed or not, exists and is another file.
void DeleteCopy(const std::string& sharedFolder, const std::string& finalInstallFolder, const Rename& r) {
    const char* keptName = ExistsIn(sharedFolder, r.oldName) ? r.oldName : r.newName;
    std::string copy = JoinIn(finalInstallFolder, r.oldName), kept = JoinIn(sharedFolder, keptName);
    if (copy.empty() || kept.empty()) return;
    bool same = true;
    if (platform::SameFile(copy.c_str(), kept.c_str(), &same) && !same && platform::DeleteFileAt(copy.c_str()))
        LogEvent("deleted the copy " + copy);
}

}  // namespace

unsigned PreferenceFilesPresent(const std::string& sharedFolder) {
    unsigned bits = 0;
    for (size_t i = 0; i < kPreferenceCount; ++i)
        if (ExistsIn(sharedFolder, kPreferenceFiles[i].oldName)) bits |= 1u << i;
    return bits;
}

Outcome RenameProductItems(const std::string& sharedFolder, const std::string& finalInstallFolder, unsigned copies,
                           const StopCheck& stop) {
    Outcome out;
    // Each rename, then each deletion of a copy, as one item.
    auto stopped = [&] { return out.stopped = out.stopped || StopRequested(stop); };
    for (const Rename& r : kPreferenceFiles)
        if (!stopped()) RenameIn(sharedFolder, r);
    if (!stopped()) RenameIn(sharedFolder, kLabels);
    DWORD programError = 0;
    if (!stopped() && !RenameIn(finalInstallFolder, kInstallItems[0])) programError = platform::LastError();
    for (size_t i = 1; i < sizeof kInstallItems / sizeof kInstallItems[0]; ++i)
        if (!stopped()) RenameIn(finalInstallFolder, kInstallItems[i]);
    for (size_t i = 0; i < kPreferenceCount; ++i)
        if ((copies & (1u << i)) && !stopped()) DeleteCopy(sharedFolder, finalInstallFolder, kPreferenceFiles[i]);
    if (out.stopped) return out;
    const Rename& program = kInstallItems[0];
    if (ExistsIn(finalInstallFolder, program.oldName) || !ExistsIn(finalInstallFolder, program.newName))
        out.Add(Problem{JoinIn(finalInstallFolder, program.oldName), JoinIn(finalInstallFolder, program.newName),
                        "The program could not be given its new name.", programError});
    return out;
}

bool RenamesShown(const std::string& sharedFolder, const std::string& finalInstallFolder, unsigned copies) {
    const Rename& program = kInstallItems[0];
    if (ExistsIn(finalInstallFolder, program.oldName) || !ExistsIn(finalInstallFolder, program.newName)) return false;
    auto waiting = [](const std::string& folder, const Rename& r) {
        return ExistsIn(folder, r.oldName) && !ExistsIn(folder, r.newName);
    };
    for (const Rename& r : kPreferenceFiles)
        if (waiting(sharedFolder, r)) return false;
    for (const Rename& r : kInstallItems)
        if (waiting(finalInstallFolder, r) || (&r == &kLabels && waiting(sharedFolder, r))) return false;
    for (size_t i = 0; i < kPreferenceCount; ++i) {
        if (!(copies & (1u << i))) continue;
        const Rename& r = kPreferenceFiles[i];
        const char* keptName = ExistsIn(sharedFolder, r.oldName) ? r.oldName : r.newName;
        std::string copy = JoinIn(finalInstallFolder, r.oldName), kept = JoinIn(sharedFolder, keptName);
        bool same = true;
        if (!copy.empty() && !kept.empty() && FileExists(copy) &&
            platform::SameFile(copy.c_str(), kept.c_str(), &same) && !same)
            return false;
    }
    return true;
}

std::string NewInstallName(const std::string& relativePath) {
    for (const Rename& r : kInstallItems) {
        std::string old = r.oldName;
        if (relativePath.size() < old.size() || !PathsEqual(relativePath.substr(0, old.size()), old)) continue;
        if (relativePath.size() == old.size()) return r.newName;
        if (relativePath[old.size()] == '\\') return r.newName + relativePath.substr(old.size());
    }
    return relativePath;
}

}  // namespace migrate
