#include "migrate/registry.h"
#include <cstring>
#include <string>
#include <vector>
#include "common/event_log.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/registry_value.h"
#include "platform/account.h"
#include "platform/file.h"
#include "platform/reg.h"
#include "platform/utf.h"

namespace migrate {
using namespace common;

namespace {

// Variables whose values are folders that registry text may start with.
const char* const kFolderVariables[] = {
    "ProgramFiles",
    "ProgramFiles(x86)",
    "ProgramW6432",
    "CommonProgramFiles",
    "CommonProgramFiles(x86)",
    "SystemRoot",
    "windir",
    "ProgramData",
    "ALLUSERSPROFILE",
    "USERPROFILE",
    "APPDATA",
    "LOCALAPPDATA",
    "PUBLIC",
    "SystemDrive",
};

std::vector<FolderVariable> FolderVariables() {
    std::vector<FolderVariable> out;
    std::string value;
    for (const char* name : kFolderVariables) {
        FolderVariable v;
        if (platform::EnvironmentValue(name, value) && platform::ToWide(name, v.name) &&
            platform::ToWide(value.c_str(), v.value) && !v.value.empty())
            out.push_back(v);
    }
    return out;
}

std::wstring ShortFormOf(const char* folder, const ShortForms& kept) {
    std::string shortForm;
    if (!platform::ShortPath(folder, shortForm)) {
        shortForm.clear();
        for (const auto& k : kept)
            if (PathsEqual(k.first.c_str(), folder)) shortForm = k.second;
    }
    std::wstring w;
    platform::ToWide(shortForm.c_str(), w);
    return w;
}

void AddMove(RewriteTable& table, const char* from, const char* to, const ShortForms& kept,
             const std::vector<FolderVariable>& variables) {
    FolderMove move;
    if (!from[0] || !platform::ToWide(from, move.from) || !platform::ToWide(to, move.to)) return;
    move.fromShort = ShortFormOf(from, kept);
    move.toShort = ShortFormOf(to, kept);
    AddFolderMove(table, move, variables);
}

}  // namespace

ShortForms TakeShortForms(const char* installFolder, const char* sharedFolder) {
    ShortForms forms;
    for (const char* folder : {installFolder, sharedFolder}) {
        std::string shortForm;
        if (folder[0] && platform::ShortPath(folder, shortForm)) forms.emplace_back(folder, shortForm);
    }
    return forms;
}

RewriteTable MigrationRewrites(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                               const ShortForms& kept, const std::vector<FolderVariable>* variables) {
    std::vector<FolderVariable> fromSystem;
    if (!variables) {
        fromSystem = FolderVariables();
        variables = &fromSystem;
    }
    RewriteTable table;
    AddMove(table, installFolder, finalInstallFolder, kept, *variables);
    AddMove(table, sharedFolder, finalInstallFolder, kept, *variables);
    table.Add("Kestrin.exe", "Dovetra.exe", MatchKind::FileName);
    table.AddIdentity("Dovetra.exe", MatchKind::FileName);
    return table;
}

// The current user's hive and its classes appear below HKEY_USERS under the
// user's SID; both were walked as HKEY_CURRENT_USER already. Walking them
// again would change nothing (the rewrite gives the same text on every
// visit) and would only cost a second pass over the user's hive.
static std::vector<std::string> CurrentUserAliases() {
    std::string sid;
    if (!platform::CurrentUserSid(sid)) return {};
    return {sid, std::string(sid) + "_Classes"};
}

// One root, and a line in the event log with what it changed.
static void RewriteRoot(HKEY root, const char* name, const RewriteTable& table, RegistryWalkStats& stats,
                        const std::vector<std::string>& aliases = {}) {
    RegistryWalkStats before = stats;
    RewriteRegistryTree(root, table, stats, aliases);
    LogEvent(std::string("registry ") + name + ": " + std::to_string(stats.rewritten - before.rewritten) +
             " values rewritten, " + std::to_string(stats.failedWrites - before.failedWrites) +
             " could not be written");
}

void RewriteRegistry(const RewriteTable& table, const ProgressStep& step, RegistryWalkStats& stats) {
    RewriteRoot(HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT", table, stats);
    RewriteRoot(HKEY_CURRENT_USER, "HKEY_CURRENT_USER", table, stats);
    if (step) step();
    RewriteRoot(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", table, stats);
    if (step) step();
    RewriteRoot(HKEY_USERS, "HKEY_USERS", table, stats, CurrentUserAliases());
    if (step) step();
}

void DeleteOldKeys() {
    static const char* const kOldKeys[] = {
        "Kestrin 5.0",
        "Vantor",
        "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files",
        "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0",
        "Software\\Vantor Corp.\\Vantor",
    };
    for (const char* path : kOldKeys) platform::RegDeleteOne(HKEY_CURRENT_USER, path);
}

namespace {

// Data is `finalFolder` + `suffix`, or `literal` alone when it is set.
struct NewValue {
    const char* key;
    const char* name;
    const char* suffix;
    const char* literal;
};

const NewValue kNewValues[] = {
    {"Software\\Halvern\\Dovetra 5", "Vantor Directory", "", nullptr},
    {"Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "Hyphenation", "\\USENGLSH.CHY", nullptr},
    {"Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "MainDictionary", "\\USENGLSH.MSP", nullptr},
    {"Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "Offscreen", nullptr, "0"},
    {"Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "ScaleIndex", nullptr, "6"},
    {"Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "Thesaurus", "\\USENGLSH.MTH", nullptr},
    {"Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "User Directory", "", nullptr},
    {"Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "UserDictionary", "\\USER.USP", nullptr},
    {"Software\\Design Science\\KSEQ2\\Preferences\\Directories", "AppDir", "", nullptr},
};

}  // namespace

bool WriteNewKeys(const char* finalInstallFolder) {
    const char* openPath = nullptr;
    platform::Key key;
    bool open = false, all = true;
    for (const NewValue& v : kNewValues) {
        // Rows of one key follow each other: create it once for all of them.
        if (!openPath || std::strcmp(openPath, v.key) != 0) {
            openPath = v.key;
            open = platform::RegCreate(HKEY_CURRENT_USER, v.key, KEY_SET_VALUE, key);
        }
        std::string data = v.literal ? std::string(v.literal) : std::string(finalInstallFolder) + v.suffix;
        if (!open || !platform::RegWriteText(key.Get(), v.name, REG_SZ, data.c_str())) all = false;
    }
    return all;
}

bool MigrateRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                     const ShortForms& kept, const ProgressStep& step) {
    DeleteOldKeys();
    RewriteTable table = MigrationRewrites(installFolder, sharedFolder, finalInstallFolder, kept);
    RegistryWalkStats stats{};
    RewriteRegistry(table, step, stats);
    bool wroteNew = WriteNewKeys(finalInstallFolder);
    return stats.failedWrites == 0 && wroteNew;
}

}  // namespace migrate
