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
#include "platform/user_hive.h"
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
                               const std::vector<std::string>& aliases = {}, const KeyEntered& entered = {}) {
    RegistryWalkResult r = RewriteRegistryTree(root.key, root.name, table, mode, stop, aliases, entered);
    bool dry = mode == RegistryMode::DryRun;
    LogEvent(std::string(dry ? "registry check " : "registry ") + root.name + ": " +
             Count(r.rewritten, dry ? "values to rewrite, " : "values rewritten, ") +
             Count(r.notWritten.count, dry ? "in keys this process cannot write, " : "could not be written, ") +
             Count(r.links.count, "link keys and ") + Count(r.tooDeep.count, "keys too deep left out") +
             (r.stopped ? "; stopped" : ""));
    return r;
}

}  // namespace

RegistryWalkResult RewriteRegistry(const RewriteTable& table, RegistryMode mode, const ProgressStep& step,
                                   const StopCheck& stop, const KeyEntered& entered) {
    RegistryWalkResult all;
    for (const Root& root : kRoots) {
        if (StopRequested(stop)) {
            all.stopped = true;
            break;
        }
        all.Add(RewriteRoot(root, table, mode, stop,
                            root.key == HKEY_USERS ? CurrentUserAliases() : std::vector<std::string>(), entered));
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

std::string KeyPath(const std::string& label, const char* path) { return label + "\\" + path; }

// The old keys that exist directly below `path`: deleted before it.
DWORD OldKeysBelow(HKEY root, const char* path) {
    DWORD n = 0;
    size_t len = std::strlen(path);
    for (const char* other : kOldKeys) {
        platform::Key key;
        if (std::strncmp(other, path, len) == 0 && other[len] == '\\' && !std::strchr(other + len + 1, '\\') &&
            platform::RegOpenNoFollow(root, other, KEY_QUERY_VALUE, key))
            ++n;
    }
    return n;
}

// The dry run's deletion: the key opens for deletion (a link as itself) and
// has no subkeys left once the old keys below it are gone; a key with
// subkeys fails to delete as ERROR_ACCESS_DENIED, here as there.
bool CouldDelete(HKEY root, const char* path) {
    platform::Key key;
    platform::RegKeyInfo info;
    if (!platform::RegOpenNoFollow(root, path, DELETE | KEY_QUERY_VALUE, key)) return false;
    if (!platform::RegQueryInfo(key.Get(), info)) return false;
    if (info.subKeys <= OldKeysBelow(root, path)) return true;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

}  // namespace

RegistryList DeleteOldKeys(HKEY root, const std::string& label, RegistryMode mode) {
    RegistryList notDeleted;
    for (const char* path : kOldKeys) {
        bool done = mode == RegistryMode::Rewrite ? platform::RegDeleteOne(root, path) : CouldDelete(root, path);
        DWORD error = done ? 0 : ::GetLastError();
        if (error && error != ERROR_FILE_NOT_FOUND) notDeleted.Add(RegistryItem{KeyPath(label, path), "", error});
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
DWORD CreateError(HKEY root, const char* path) {
    std::string parent = path;
    for (;;) {
        size_t cut = parent.rfind('\\');
        parent.resize(cut == std::string::npos ? 0 : cut);
        platform::Key key;
        if (platform::RegOpen(root, parent.c_str(), KEY_CREATE_SUB_KEY, key)) return 0;
        DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND || parent.empty()) return error;
    }
}

// The values of one new key that do not hold their data yet go in; those
// that cannot are added to `failed` with the reason.
void WriteNewKey(HKEY root, const std::string& label, const char* path, const std::vector<NewData>& rows,
                 RegistryMode mode, RegistryList& failed) {
    std::vector<const NewData*> todo;
    platform::Key key;
    bool exists = platform::RegOpen(root, path, KEY_QUERY_VALUE, key);
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
            error = platform::RegOpen(root, path, KEY_SET_VALUE, key) ? 0 : ::GetLastError();
        else
            error = CreateError(root, path);
    } else if (!platform::RegCreate(root, path, KEY_SET_VALUE, key)) {
        error = ::GetLastError();
    }
    for (const NewData* d : todo) {
        DWORD e = error;
        if (!e && mode == RegistryMode::Rewrite &&
            !platform::RegWriteRaw(key.Get(), d->name.c_str(), REG_SZ, d->bytes.data(),
                                   static_cast<DWORD>(d->bytes.size())))
            e = ::GetLastError();
        if (e) failed.Add(RegistryItem{KeyPath(label, path), d->row->name, e});
    }
}

}  // namespace

RegistryList WriteNewKeys(HKEY root, const std::string& label, const char* finalInstallFolder, RegistryMode mode) {
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
                failed.Add(RegistryItem{KeyPath(label, kNewValues[end].key), kNewValues[end].name, ::GetLastError()});
        }
        WriteNewKey(root, label, kNewValues[first].key, rows, mode, failed);
        first = end;
    }
    return failed;
}

namespace {

void RunRegistryParts(RegistryResult& result, RegistryMode mode, const char* installFolder, const char* sharedFolder,
                      const char* finalInstallFolder, const ShortForms& kept, const ProgressStep& step,
                      const StopCheck& stop, const std::vector<platform::UserProfile>& profiles,
                      const KeyEntered& entered);

// Each root the step wrote reaches the disk before the step counts as done.
RegistryList FlushWrittenRoots(const RegistryResult& r) {
    RegistryList failed;
    for (const Root& root : kRoots) {
        // The users' own roots always (new keys, old keys); the shared ones
        // when the walk rewrote something.
        if (root.key != HKEY_CURRENT_USER && root.key != HKEY_USERS && r.walk.rewritten == 0) continue;
        if (!platform::RegFlush(root.key)) failed.Add(RegistryItem{root.name, "", ::GetLastError()});
    }
    return failed;
}

// Any of the suite's keys, old or new, below a user's root.
bool HoldsSuiteKeys(HKEY root) {
    for (const char* path : {kOldKeys[0], kOldKeys[1], kOldKeys[3], kOldKeys[4], kNewValues[0].key}) {
        platform::Key key;
        if (platform::RegOpenNoFollow(root, path, KEY_QUERY_VALUE, key)) return true;
    }
    return false;
}

// One user's root whose keys this step changes.
struct UserPart {
    platform::Key owned;  // HKEY_USERS\<SID>; none for HKEY_CURRENT_USER
    HKEY root;
    std::string label;
    RegistryList newValuesNotWritten;
};

// The end of a user's part: the old keys go once its new values are whole.
void FinishPart(const UserPart& part, RegistryMode mode, RegistryResult& result) {
    if (mode == RegistryMode::Rewrite && part.newValuesNotWritten.count) {
        result.oldKeysKept = true;
        LogEvent("registry " + part.label + ": the old keys are kept, " +
                 Count(part.newValuesNotWritten.count, "new values") + " could not be written");
        return;
    }
    result.oldKeysNotDeleted.Append(DeleteOldKeys(part.root, part.label, mode));
}

// The whole part of a profile whose hive is not loaded: loaded for it, its
// new keys, its paths and its old keys, unloaded whatever happens. False
// when it holds none of the suite's keys.
bool ProfilePart(const platform::UserProfile& p, const char* finalFolder, const RewriteTable& table,
                 const ProgressStep& step, const StopCheck& stop, RegistryResult& result) {
    std::string name = "profile " + p.sid + " (" + p.hiveFile + ")";
    platform::UserHive hive;
    if (!hive.Open(p, KEY_READ | KEY_WRITE)) {
        DWORD error = ::GetLastError();
        if (error == ERROR_NOT_ALL_ASSIGNED || error == ERROR_PRIVILEGE_NOT_HELD) {
            // An ordinary user's run: the user's own keys are its part.
            LogEvent("registry " + name +
                     ": left alone, this account may not load another user's registry "
                     "(an administrator's or SYSTEM's run does)");
            return false;
        }
        result.profilesNotLoaded.Add(RegistryItem{name, "", error});
        LogEvent("registry " + name + ": its hive could not be loaded (error " + std::to_string(error) +
                 "); the next run finishes its part");
        return true;
    }
    if (!HoldsSuiteKeys(hive.Root())) {
        LogEvent("registry " + name + ": none of the suite's keys");
        return false;
    }
    UserPart part{platform::Key(), hive.Root(), hive.Label(),
                  WriteNewKeys(hive.Root(), hive.Label(), finalFolder, RegistryMode::Rewrite)};
    result.newValuesNotWritten.Append(part.newValuesNotWritten);
    if (step) step();  // with the hive loaded
    RegistryWalkResult walk = RewriteRoot(Root{hive.Root(), hive.Label().c_str()}, table, RegistryMode::Rewrite, stop);
    result.walk.Add(walk);
    if (walk.stopped) {
        result.stopped = true;
        return true;
    }
    unsigned long left = result.oldKeysNotDeleted.count;
    FinishPart(part, RegistryMode::Rewrite, result);
    bool unloaded = hive.Close();
    LogEvent("registry " + name + ": " + Count(part.newValuesNotWritten.count, "new values not written, ") +
             Count(result.oldKeysNotDeleted.count - left, "old keys not deleted") +
             (unloaded ? "; unloaded"
                       : "; its hive could not be unloaded (error " + std::to_string(::GetLastError()) + ")"));
    return true;
}

RegistryResult RunRegistryStep(RegistryMode mode, const char* installFolder, const char* sharedFolder,
                               const char* finalInstallFolder, const ShortForms& kept, const ProgressStep& step,
                               const StopCheck& stop, const std::vector<platform::UserProfile>& profiles,
                               const KeyEntered& entered = {}) {
    RegistryResult result;
    RunRegistryParts(result, mode, installFolder, sharedFolder, finalInstallFolder, kept, step, stop, profiles,
                     entered);
    if (mode == RegistryMode::Rewrite) result.notFlushed = FlushWrittenRoots(result);
    return result;
}

void RunRegistryParts(RegistryResult& result, RegistryMode mode, const char* installFolder, const char* sharedFolder,
                      const char* finalInstallFolder, const ShortForms& kept, const ProgressStep& step,
                      const StopCheck& stop, const std::vector<platform::UserProfile>& profiles,
                      const KeyEntered& entered) {
    if (StopRequested(stop)) {
        result.stopped = true;
        return;
    }
    RewriteTable table = MigrationRewrites(installFolder, sharedFolder, finalInstallFolder, kept);
    // Other users' profiles: a loaded hive is one more root of the step, a
    // hive that is not has its whole part now (the dry run leaves it alone).
    std::string self;
    platform::CurrentUserSid(self);
    std::vector<UserPart> parts;
    bool othersHold = false;
    for (const platform::UserProfile& p : profiles) {
        if (PathsEqual(p.sid, self)) continue;
        if (!p.loaded) {
            if (mode == RegistryMode::DryRun) continue;
            othersHold = ProfilePart(p, finalInstallFolder, table, step, stop, result) || othersHold;
            if (result.stopped) return;
            continue;
        }
        // New keys are made below this handle: it must allow that.
        platform::Key root;
        if (!platform::RegOpen(HKEY_USERS, p.sid.c_str(), KEY_READ | KEY_WRITE, root)) {
            LogEvent("registry HKEY_USERS\\" + p.sid + ": left alone, this account may not change it (error " +
                     std::to_string(::GetLastError()) + ")");
            continue;
        }
        if (!HoldsSuiteKeys(root.Get())) continue;
        othersHold = true;
        HKEY raw = root.Get();
        parts.push_back(UserPart{std::move(root), raw, "HKEY_USERS\\" + p.sid, {}});
    }
    // The running account's own keys, unless the suite's are only other users'
    // (an administrator's or SYSTEM's run for them).
    if (HoldsSuiteKeys(HKEY_CURRENT_USER) || !othersHold)
        parts.insert(parts.begin(), UserPart{platform::Key(), HKEY_CURRENT_USER, "HKEY_CURRENT_USER", {}});
    // New values first: a run stopped later leaves the installation findable
    // through them, and the old keys go only once the new ones are whole.
    for (UserPart& part : parts) {
        part.newValuesNotWritten = WriteNewKeys(part.root, part.label, finalInstallFolder, mode);
        result.newValuesNotWritten.Append(part.newValuesNotWritten);
    }
    result.walk.Add(RewriteRegistry(table, mode, step, stop, entered));
    if (result.walk.stopped || StopRequested(stop)) {
        result.stopped = true;
        return;
    }
    for (const UserPart& part : parts) FinishPart(part, mode, result);
}

}  // namespace

RegistryResult MigrateRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                               const ShortForms& kept, const ProgressStep& step, const StopCheck& stop,
                               const std::vector<platform::UserProfile>& profiles) {
    return RunRegistryStep(RegistryMode::Rewrite, installFolder, sharedFolder, finalInstallFolder, kept, step, stop,
                           profiles);
}

RegistryResult CheckRegistry(const char* installFolder, const char* sharedFolder, const char* finalInstallFolder,
                             const ShortForms& kept, const StopCheck& stop, const KeyEntered& entered) {
    return RunRegistryStep(RegistryMode::DryRun, installFolder, sharedFolder, finalInstallFolder, kept, nullptr, stop,
                           {}, entered);
}

unsigned long CountRegistryKeys(const StopCheck& stop) {
    RewriteTable none;  // the count reads no value
    unsigned long keys = 0;
    for (const Root& root : kRoots) {
        if (StopRequested(stop)) break;
        keys += RewriteRegistryTree(root.key, root.name, none, RegistryMode::Count, stop,
                                    root.key == HKEY_USERS ? CurrentUserAliases() : std::vector<std::string>())
                    .keys;
    }
    return keys;
}

bool WriteCompletionMark(const char* finalInstallFolder) {
    platform::Key key;
    return platform::RegCreate(HKEY_LOCAL_MACHINE, "SOFTWARE\\Halvern\\Dovetra 5\\Update", KEY_SET_VALUE, key) &&
           platform::RegWriteText(key.Get(), "Install Folder", REG_SZ, finalInstallFolder) &&
           platform::RegWriteText(key.Get(), "Version", REG_SZ, "5.0.3");
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
    add(r.profilesNotLoaded,
        "This user's registry could not be loaded (the user may be logging on, or the file is in use); running the "
        "updater again finishes that user's part.");
    if (r.oldKeysKept)
        out.Add(Problem{"the user's registry", "", "The old product's keys are kept until the new ones are whole.", 0});
    add(r.notFlushed, "What was written below this root could not be saved to disk.");
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
