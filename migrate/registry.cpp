#include "migrate/registry.h"
#include <cstring>
#include <string>
#include <vector>
#include "app/progress.h"
#include "common/state.h"
#include "migrate/registry_value.h"
#include "platform/account.h"
#include "platform/reg.h"

RewriteTable MigrationRewrites(const char* installFolder, const char* sharedFolder,
                               const char* finalInstallFolder) {
    RewriteTable table;
    table.Add(installFolder, finalInstallFolder, MatchKind::Folder);
    table.Add(sharedFolder, finalInstallFolder, MatchKind::Folder);
    table.Add("Kestrin.exe", "Dovetra.exe", MatchKind::FileName);
    table.AddIdentity(finalInstallFolder, MatchKind::Folder);
    table.AddIdentity("Dovetra.exe", MatchKind::FileName);
    return table;
}

// The current user's hive and its classes appear below HKEY_USERS under the
// user's SID; both were walked as HKEY_CURRENT_USER already. Walking them
// again would change nothing (the rewrite gives the same text on every
// visit) and would only cost a second pass over the user's hive.
static std::vector<std::string> CurrentUserAliases() {
    char sid[256];
    if (!platform::CurrentUserSid(sid, sizeof sid)) return {};
    return {sid, std::string(sid) + "_Classes"};
}

void RewriteRegistry(const RewriteTable& table, HWND dialog, RegistryWalkStats& stats) {
    RewriteRegistryTree(HKEY_CLASSES_ROOT, table, stats);
    RewriteRegistryTree(HKEY_CURRENT_USER, table, stats);
    StepProgress(dialog);
    RewriteRegistryTree(HKEY_LOCAL_MACHINE, table, stats);
    StepProgress(dialog);
    RewriteRegistryTree(HKEY_USERS, table, stats, CurrentUserAliases());
    StepProgress(dialog);
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

void WriteNewKeys(const char* finalInstallFolder) {
    const char* openPath = nullptr;
    platform::Key key;
    bool open = false;
    for (const NewValue& v : kNewValues) {
        // Rows of one key follow each other: create it once for all of them.
        if (!openPath || std::strcmp(openPath, v.key) != 0) {
            openPath = v.key;
            open = platform::RegCreate(HKEY_CURRENT_USER, v.key, KEY_SET_VALUE, key);
        }
        if (!open) continue;
        std::string data = v.literal ? std::string(v.literal)
                                     : std::string(finalInstallFolder) + v.suffix;
        // The byte count is the length of the text: no terminating NUL.
        WriteValueExactly(key.Get(), v.name, REG_SZ, data);
    }
}

int MigrateRegistry(HWND dialog, const char* finalInstallFolder) {
    DeleteOldKeys();
    RewriteTable table = MigrationRewrites(g_state.installFolder, g_state.sharedFolder,
                                           finalInstallFolder);
    RegistryWalkStats stats{};
    RewriteRegistry(table, dialog, stats);
    WriteNewKeys(finalInstallFolder);
    return 0;
}
