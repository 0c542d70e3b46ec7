#include "migrate/registry.h"
#include <cstring>
#include <string>
#include <vector>
#include "common/event_log.h"
#include "common/path.h"
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

// The current user's hive appears below HKEY_USERS under the user's SID; it
// was walked as HKEY_CURRENT_USER already. Walking it again would change
// nothing (the rewrite gives the same text on every visit) and would only
// cost a second pass over the user's hive. The user's classes, "<SID>_Classes"
// on Windows, are walked there: HKEY_CURRENT_USER\Software\Classes is a link
// to them, which the walk does not enter.
static std::vector<std::string> CurrentUserAliases() {
    std::string sid;
    if (!platform::CurrentUserSid(sid)) return {};
    return {sid};
}

namespace {

struct Root {
    HKEY key;
    const char* name;
};
const Root kRoots[] = {
    {HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
    {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
    {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
    {HKEY_USERS, "HKEY_USERS"},
};

std::string Count(unsigned long n, const char* what) { return std::to_string(n) + " " + what; }

// One root, and a line in the event log with what it changed.
RegistryWalkResult RewriteRoot(const Root& root, const RewriteTable& table, RegistryMode mode, const StopCheck& stop,
                               const std::vector<std::string>& aliases = {}) {
    RegistryWalkResult r = RewriteRegistryTree(root.key, root.name, table, mode, stop, aliases);
    bool dry = mode == RegistryMode::DryRun;
    LogEvent(std::string(dry ? "registry check " : "registry ") + root.name + ": " +
             Count(r.rewritten, dry ? "values to rewrite, " : "values rewritten, ") +
             Count(r.notWritten.count, dry ? "in keys this process cannot write, " : "could not be written, ") +
             Count(r.links.count, "link keys and ") + Count(r.tooDeep.count, "keys too deep left out") +
             (r.stopped ? "; stopped" : ""));
    return r;
}

bool StopNow(const StopCheck& stop) { return stop && stop(); }

}  // namespace

RegistryWalkResult RewriteRegistry(const RewriteTable& table, RegistryMode mode, const ProgressStep& step,
                                   const StopCheck& stop) {
    RegistryWalkResult all;
    for (const Root& root : kRoots) {
        if (StopNow(stop)) {
            all.stopped = true;
            break;
        }
        all.Add(RewriteRoot(root, table, mode, stop,
                            root.key == HKEY_USERS ? CurrentUserAliases() : std::vector<std::string>()));
        if (all.stopped) break;
        if (root.key != HKEY_CLASSES_ROOT && step) step();
    }
    return all;
}

namespace {

const char* const kOldKeys[] = {
    "Kestrin 5.0",
    "Vantor",
    "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files",
    "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0",
    "Software\\Vantor Corp.\\Vantor",
};

std::string CurrentUserPath(const char* path) { return std::string("HKEY_CURRENT_USER\\") + path; }

// The old keys that exist directly below `path`: deleted before it.
DWORD OldKeysBelow(const char* path) {
    DWORD n = 0;
    size_t len = std::strlen(path);
    for (const char* other : kOldKeys) {
        platform::Key key;
        if (std::strncmp(other, path, len) == 0 && other[len] == '\\' && !std::strchr(other + len + 1, '\\') &&
            platform::RegOpenNoFollow(HKEY_CURRENT_USER, other, KEY_QUERY_VALUE, key))
            ++n;
    }
    return n;
}

// The dry run's deletion: the key opens for deletion (a link as itself) and
// has no subkeys left once the old keys below it are gone; a key with
// subkeys fails to delete as ERROR_ACCESS_DENIED, here as there.
bool CouldDelete(const char* path) {
    platform::Key key;
    platform::RegKeyInfo info;
    if (!platform::RegOpenNoFollow(HKEY_CURRENT_USER, path, DELETE | KEY_QUERY_VALUE, key)) return false;
    if (!platform::RegQueryInfo(key.Get(), info)) return false;
    if (info.subKeys <= OldKeysBelow(path)) return true;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

}  // namespace

RegistryList DeleteOldKeys(RegistryMode mode) {
    RegistryList notDeleted;
    for (const char* path : kOldKeys) {
        bool done = mode == RegistryMode::Rewrite ? platform::RegDeleteOne(HKEY_CURRENT_USER, path) : CouldDelete(path);
        DWORD error = done ? 0 : ::GetLastError();
        if (error && error != ERROR_FILE_NOT_FOUND) notDeleted.Add(RegistryItem{CurrentUserPath(path), "", error});
    }
    return notDeleted;
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

// A new value as it is stored: REG_SZ, UTF-16 with its NUL.
struct NewData {
    const NewValue* row;
    std::wstring name;
    std::string bytes;
};

bool MakeNewData(const NewValue& v, const char* finalFolder, NewData& out) {
    std::string text = v.literal ? std::string(v.literal) : std::string(finalFolder) + v.suffix;
    std::wstring w;
    if (!platform::ToWide(v.name, out.name) || !platform::ToWide(text.c_str(), w)) return false;
    out.row = &v;
    out.bytes.assign(reinterpret_cast<const char*>(w.c_str()), (w.size() + 1) * sizeof(wchar_t));
    return true;
}

// Why the missing key `path` could not be created, or 0 when it could: its
// nearest existing parent must let this process create subkeys.
DWORD CreateError(const char* path) {
    std::string parent = path;
    for (;;) {
        size_t cut = parent.rfind('\\');
        parent.resize(cut == std::string::npos ? 0 : cut);
        platform::Key key;
        if (platform::RegOpen(HKEY_CURRENT_USER, parent.c_str(), KEY_CREATE_SUB_KEY, key)) return 0;
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND || parent.empty()) return error;
    }
}

// The values of one new key that do not hold their data yet go in; those
// that cannot are added to `failed` with the reason.
void WriteNewKey(const char* path, const std::vector<NewData>& rows, RegistryMode mode, RegistryList& failed) {
    std::vector<const NewData*> todo;
    platform::Key key;
    bool exists = platform::RegOpen(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE, key);
    DWORD openError = exists ? 0 : ::GetLastError();
    for (const NewData& d : rows) {
        DWORD type = 0;
        std::string held;
        if (exists && platform::RegReadRaw(key.Get(), d.name.c_str(), type, held) && type == REG_SZ && held == d.bytes)
            continue;  // written by an earlier run: done
        todo.push_back(&d);
    }
    if (todo.empty()) return;
    DWORD error = 0;
    if (mode == RegistryMode::DryRun) {
        if (exists || openError != ERROR_FILE_NOT_FOUND)
            error = platform::RegOpen(HKEY_CURRENT_USER, path, KEY_SET_VALUE, key) ? 0 : ::GetLastError();
        else
            error = CreateError(path);
    } else if (!platform::RegCreate(HKEY_CURRENT_USER, path, KEY_SET_VALUE, key)) {
        error = ::GetLastError();
    }
    for (const NewData* d : todo) {
        DWORD e = error;
        if (!e && mode == RegistryMode::Rewrite &&
            !platform::RegWriteRaw(key.Get(), d->name.c_str(), REG_SZ, d->bytes.data(),
                                   static_cast<DWORD>(d->bytes.size())))
            e = ::GetLastError();
        if (e) failed.Add(RegistryItem{CurrentUserPath(path), d->row->name, e});
    }
}

}  // namespace

RegistryList WriteNewKeys(const char* finalInstallFolder, RegistryMode mode) {
    RegistryList failed;
    const size_t n = sizeof kNewValues / sizeof kNewValues[0];
    // Rows of one key follow each other: each key is opened once for all of them.
    for (size_t first = 0; first < n;) {
        std::vector<NewData> rows;
        size_t end = first;
        for (; end < n && std::strcmp(kNewValues[end].key, kNewValues[first].key) == 0; ++end) {
            NewData d;
            if (MakeNewData(kNewValues[end], finalInstallFolder, d))
                rows.push_back(d);
            else
                failed.Add(RegistryItem{CurrentUserPath(kNewValues[end].key), kNewValues[end].name, ::GetLastError()});
        }
        WriteNewKey(kNewValues[first].key, rows, mode, failed);
        first = end;
    }
    return failed;
}

namespace {

RegistryResult RunRegistryStep(RegistryMode mode, const char* installFolder, const char* sharedFolder,
                               const char* finalInstallFolder, const ShortForms& kept, const ProgressStep& step,
                               const StopCheck& stop) {
    RegistryResult result;
    if (StopNow(stop)) {
        result.stopped = true;
        return result;
    }
    // New values first: a run stopped later leaves the installation findable
    // through them, and the old keys go only once the new ones are whole.
    result.newValuesNotWritten = WriteNewKeys(finalInstallFolder, mode);
    RewriteTable table = MigrationRewrites(installFolder, sharedFolder, finalInstallFolder, kept);
    result.walk = RewriteRegistry(table, mode, step, stop);
    if (result.walk.stopped || StopNow(stop)) {
        result.stopped = true;
        return result;
    }
    if (mode == RegistryMode::Rewrite && result.newValuesNotWritten.count) {
        result.oldKeysKept = true;
        LogEvent("registry: the old keys are kept, " + Count(result.newValuesNotWritten.count, "new values") +
                 " could not be written");
        return result;
    }
    result.oldKeysNotDeleted = DeleteOldKeys(mode);
    return result;
}

}  // namespace

RegistryResult MigrateRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                               const ShortForms& kept, const ProgressStep& step, const StopCheck& stop) {
    return RunRegistryStep(RegistryMode::Rewrite, installFolder, sharedFolder, finalInstallFolder, kept, step, stop);
}

RegistryResult CheckRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                             const ShortForms& kept, const StopCheck& stop) {
    return RunRegistryStep(RegistryMode::DryRun, installFolder, sharedFolder, finalInstallFolder, kept, nullptr, stop);
}

Outcome RegistryOutcome(const RegistryResult& r) {
    Outcome out;
    auto add = [&](const RegistryList& list, const char* why) {
        for (const RegistryItem& item : list.items)
            out.Add(Problem{item.key + (item.value.empty() ? "" : " : " + item.value), "", why, item.error});
        if (list.count > list.items.size())
            out.Add(Problem{"", "", std::to_string(list.count - list.items.size()) + " more like the above.", 0});
    };
    add(r.walk.notWritten, "This value names the old folder and could not be rewritten.");
    add(r.newValuesNotWritten, "This value of the new product could not be written.");
    add(r.oldKeysNotDeleted, "This key of the old product could not be deleted.");
    if (r.oldKeysKept)
        out.Add(Problem{"HKEY_CURRENT_USER", "", "The old product's keys are kept until the new ones are whole.", 0});
    out.stopped = r.stopped;
    return out;
}

bool RegistryShown(const char* finalInstallFolder) {
    for (const NewValue& v : kNewValues) {
        NewData d;
        platform::Key key;
        DWORD type = 0;
        std::string held;
        if (!MakeNewData(v, finalInstallFolder, d) ||
            !platform::RegOpen(HKEY_CURRENT_USER, v.key, KEY_QUERY_VALUE, key) ||
            !platform::RegReadRaw(key.Get(), d.name.c_str(), type, held) || type != REG_SZ || held != d.bytes)
            return false;
    }
    for (const char* path : kOldKeys) {
        platform::Key key;
        if (platform::RegOpenNoFollow(HKEY_CURRENT_USER, path, KEY_QUERY_VALUE, key)) return false;
    }
    std::string type, command;
    if (!platform::RegReadDefault(HKEY_CLASSES_ROOT, ".ksd", type)) return true;  // no association to carry
    if (type.empty() ||
        !platform::RegReadDefault(HKEY_CLASSES_ROOT, (type + "\\shell\\open\\command").c_str(), command))
        return true;
    std::string program = JoinPath(finalInstallFolder, "Dovetra.exe");
    auto lower = [](std::string s) {
        for (char& c : s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return s;
    };
    return lower(command).find(lower(program)) != std::string::npos;
}

}  // namespace migrate
