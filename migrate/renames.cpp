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

// What one rename came to.
enum class Renamed {
    done,
    leftAlone,  // the old item is missing or the new name exists: both stay as they are
    failed,     // the old item is there, the new name free, and the system refused
};

// Renames `r.oldName` to `r.newName` in `folder`; a failure is a problem of
// `out` with the system's code and `why`.
Renamed RenameIn(const std::string& folder, const Rename& r, Outcome& out, const char* why = "") {
    std::string from = JoinIn(folder, r.oldName), to = JoinIn(folder, r.newName);
    if (from.empty()) return Renamed::leftAlone;
    if (platform::MoveItem(from.c_str(), to.c_str())) {
        LogEvent("renamed " + from + " to " + r.newName);
        return Renamed::done;
    }
    DWORD error = platform::LastError();
    if (!platform::PathExists(from.c_str()) || platform::PathExists(to.c_str())) return Renamed::leftAlone;
    LogEvent("not renamed: " + from + " (" + platform::ErrorDescription(error) + ")");
    out.Add(Problem{from, to, why, error});
    return Renamed::failed;
}

bool ExistsIn(const std::string& folder, const char* name) {
    std::string path = JoinIn(folder, name);
    return !path.empty() && FileExists(path);
}

// The install folder's copy of a preference file, and the shared folder's
// own file (under its old name, else its new one); empty when a folder is.
struct CopyPair {
    std::string copy, kept;
};
CopyPair CopyOf(const std::string& sharedFolder, const std::string& finalInstallFolder, const Rename& r) {
    const char* keptName = ExistsIn(sharedFolder, r.oldName) ? r.oldName : r.newName;
    return CopyPair{JoinIn(finalInstallFolder, r.oldName), JoinIn(sharedFolder, keptName)};
}

// Deletes the install folder's copy of a preference file when the shared
// folder's own file, renamed or not, exists and is another file. A copy that
// is there and cannot be deleted is a problem.
void DeleteCopy(const std::string& sharedFolder, const std::string& finalInstallFolder, const Rename& r, Outcome& out) {
    CopyPair p = CopyOf(sharedFolder, finalInstallFolder, r);
    if (p.copy.empty() || p.kept.empty()) return;
    bool same = true;
    if (!platform::SameFile(p.copy.c_str(), p.kept.c_str(), &same) || same) return;
    if (platform::DeleteFileAt(p.copy.c_str())) {
        LogEvent("deleted the copy " + p.copy);
    } else if (platform::PathExists(p.copy.c_str())) {
        DWORD error = platform::LastError();
        LogEvent("copy not deleted: " + p.copy + " (" + platform::ErrorDescription(error) + ")");
        out.Add(Problem{p.copy, "", "", error});
    }
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
    bool renameFailed[kPreferenceCount] = {};
    for (size_t i = 0; i < kPreferenceCount; ++i)
        if (!stopped()) renameFailed[i] = RenameIn(sharedFolder, kPreferenceFiles[i], out) == Renamed::failed;
    if (!stopped()) RenameIn(sharedFolder, kLabels, out);
    const Rename& program = kInstallItems[0];
    const char* programWhy = "The program could not be given its new name.";
    bool programFailed = !stopped() && RenameIn(finalInstallFolder, program, out, programWhy) == Renamed::failed;
    for (size_t i = 1; i < sizeof kInstallItems / sizeof kInstallItems[0]; ++i)
        if (!stopped()) RenameIn(finalInstallFolder, kInstallItems[i], out);
    // A copy goes only once its shared file has its new name (or keeps its
    // old one beside a new one): a pair cut in half is left whole to be
    // finished by the next run.
    for (size_t i = 0; i < kPreferenceCount; ++i)
        if ((copies & (1u << i)) && !renameFailed[i] && !stopped())
            DeleteCopy(sharedFolder, finalInstallFolder, kPreferenceFiles[i], out);
    if (out.stopped) return out;
    // Left alone, the program is still a problem: the shortcuts and the
    // registry name "Dovetra.exe" next.
    bool oldThere = ExistsIn(finalInstallFolder, program.oldName);
    if (!programFailed && (oldThere || !ExistsIn(finalInstallFolder, program.newName)))
        out.Add(Problem{JoinIn(finalInstallFolder, program.oldName), JoinIn(finalInstallFolder, program.newName),
                        programWhy, static_cast<DWORD>(oldThere ? ERROR_ALREADY_EXISTS : ERROR_FILE_NOT_FOUND)});
    return out;
}

Outcome CheckRenames(const std::string& sharedFolder, const std::string& finalInstallFolder) {
    Outcome out;
    auto check = [&](const std::string& path, const std::string& to) {
        if (path.empty() || !platform::PathExists(path.c_str())) return;
        if (!platform::CheckMovable(path.c_str())) out.Add(Problem{path, to, "", platform::LastError()});
    };
    auto checkRename = [&](const std::string& folder, const Rename& r) {
        if (!ExistsIn(folder, r.newName)) check(JoinIn(folder, r.oldName), JoinIn(folder, r.newName));
    };
    for (const Rename& r : kPreferenceFiles) {
        checkRename(sharedFolder, r);
        CopyPair p = CopyOf(sharedFolder, finalInstallFolder, r);
        bool same = true;
        if (!p.copy.empty() && !p.kept.empty() && FileExists(p.copy) && FileExists(p.kept) &&
            (!platform::SameFile(p.copy.c_str(), p.kept.c_str(), &same) || !same))
            check(p.copy, "");
    }
    checkRename(sharedFolder, kLabels);
    for (const Rename& r : kInstallItems) checkRename(finalInstallFolder, r);
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
