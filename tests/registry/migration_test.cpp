// The registry migration against a real (Wine) registry, in a prefix of this
// test's own: fixtures are written, the whole registry is read before and
// after, and every difference must be one that was asked for.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "common/ids.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "reg_snapshot.h"

using namespace common;
using namespace migrate;

namespace {

const char* kInstall = "C:\\Program Files\\Kestrin Suite";
const char* kShared = u8"C:\\Vantor\\Общие";
const char* kFinal = "C:\\Program Files\\Halvern\\Dovetra 5";
const char* kUserKey = "Software\\DvRegTest";
const char* kClassKey = "Software\\Classes\\DvRegTestClass";

std::string Z(const std::string& s) { return Utf16(s); }
std::string F(const char* rest) { return std::string(kFinal) + rest; }
std::string I(const char* rest) { return std::string(kInstall) + rest; }

std::string ShortForm(const std::string& path) {
    wchar_t out[MAX_PATH];
    DWORD n = GetShortPathNameW(Wide(path).c_str(), out, MAX_PATH);
    std::string s;
    for (DWORD i = 0; i < n; ++i) s += static_cast<char>(out[i]);  // 8.3 forms are ASCII here
    return s;
}

class RegistryMigration : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        for (const char* f : {"C:\\Program Files\\Halvern", kFinal, kInstall})
            CreateDirectoryW(Wide(f).c_str(), nullptr);
        ResetUpdaterState();
    }
    void TearDown() override { Clean(); }
    static void Clean() {
        Unlock();
        DeleteTree(HKEY_CURRENT_USER, kUserKey);
        DeleteTree(HKEY_LOCAL_MACHINE, kUserKey);
        DeleteTree(HKEY_CURRENT_USER, kClassKey);
        DeleteTree(HKEY_CURRENT_USER, "Software\\Halvern");
        DeleteTree(HKEY_CURRENT_USER, "Software\\Design Science");
        DeleteTree(HKEY_CURRENT_USER, "Software\\Vantor Corp.");
        DeleteTree(HKEY_CURRENT_USER, "Kestrin 5.0");
        DeleteTree(HKEY_CURRENT_USER, "Vantor");
    }
    static void Unlock();
};

// Gives the key `path` below HKCU a DACL that lets everyone do `rights`
// (and change the DACL back).
DWORD SetAccess(const char* path, REGSAM rights) {
    HKEY key;
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, WRITE_DAC | READ_CONTROL, &key);
    if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
    EXPLICIT_ACCESSW ea{};
    ea.grfAccessPermissions = rights | WRITE_DAC;
    ea.grfAccessMode = SET_ACCESS;
    ea.grfInheritance = NO_INHERITANCE;
    ea.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    ea.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    wchar_t everyone[] = L"EVERYONE";
    ea.Trustee.ptstrName = everyone;
    PACL acl = nullptr;
    DWORD err = SetEntriesInAclW(1, &ea, nullptr, &acl);
    SECURITY_DESCRIPTOR sd;
    if (err == ERROR_SUCCESS) {
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
        err = static_cast<DWORD>(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd));
    }
    if (acl) LocalFree(acl);
    RegCloseKey(key);
    return err;
}
const REGSAM kReadOnly = KEY_READ | DELETE;

const char* kLocked = "Software\\DvRegTest\\Locked";
const char* const kLockable[] = {kLocked, "Software\\DvRegTest\\Locked\\Quiet", "Software\\Halvern",
                                 "Software\\Design Science\\KSEQ2\\Preferences\\Directories",
                                 "Software\\Halvern\\Dovetra 5"};
void RegistryMigration::Unlock() {
    for (const char* k : kLockable)
        if (KeyExists(HKEY_CURRENT_USER, k)) SetAccess(k, KEY_ALL_ACCESS);
}

// HKCR and HKU show keys that live under HKCU or HKLM. A change seen through
// them is accepted when the same change shows at the place it lives.
bool SeenElsewhere(const RegSnapshot& d, const std::string& path, const RegEntry& e) {
    auto twin = [&](const std::string& p) {
        auto it = d.find(p);
        return it != d.end() && it->second == e;
    };
    if (path.rfind("HKCR\\", 0) == 0)
        return twin("HKCU\\Software\\Classes\\" + path.substr(5)) || twin("HKLM\\Software\\Classes\\" + path.substr(5));
    if (path.rfind("HKU\\", 0) == 0) {
        size_t sid = path.find('\\', 4);
        if (sid == std::string::npos) return false;
        std::string rest = path.substr(sid + 1);
        if (path.compare(sid - 8, 8, "_Classes") == 0) return twin("HKCU\\Software\\Classes\\" + rest);
        return twin("HKCU\\" + rest);
    }
    return false;
}

const char* kApp = "Software\\DvRegTest\\App";
const char* kWorld = u8"Software\\DvRegTest\\Ключ 用户";  // a name in no ANSI code page

// One value before and after the migration; `out` empty: left as it is. A
// row of type REG_LINK makes `key` a link key to the key `in` below HKCU.
struct Fixture {
    HKEY root;
    std::string key, name;
    DWORD type;
    std::string in, out;
};

// The key at `level` below HKCU (Software is level 1) on a deep path.
std::string Deep(int level) {
    std::string k = "Software\\DvRegTest\\Deep";
    for (int l = 3; l < level; ++l) k += "\\d";
    return k;
}

std::vector<Fixture> Fixtures() {
    const HKEY cu = HKEY_CURRENT_USER;
    const std::string app = kApp, world = kWorld, shared = kShared, N = kFinal, x600(600, 'x');
    return {
        {cu, app, "Path", REG_SZ, Z(kInstall), Z(N)},
        {cu, app, "Exe", REG_SZ, Z("\"" + I("\\Kestrin.exe\" \"%1\"")), Z("\"" + N + "\\Dovetra.exe\" \"%1\"")},
        {cu, app, "Tools", REG_SZ, Z(I(" Tools\\x.dll")), ""},
        {cu, app, "Twice", REG_EXPAND_SZ, Z(I("\\a;c:\\program files\\KESTRIN suite\\b")), Z(N + "\\a;" + N + "\\b")},
        {cu, app, "Multi", REG_MULTI_SZ, Z(shared + "\\WMF.F32") + Z("other") + Z("Kestrin.exe") + Z(""),
         Z(N + "\\WMF.F32") + Z("other") + Z("Dovetra.exe") + Z("")},
        {cu, app, "Bin", REG_BINARY, Z(I("\\Kestrin.exe")), ""},
        {cu, app, "NoNul", REG_SZ, Utf16(I("\\n.dll"), false), Utf16(N + "\\n.dll", false)},
        {cu, app, "Tail", REG_SZ, Z(kInstall) + Utf16("junk", false), Z(N) + Utf16("junk", false)},
        {cu, app, "Dword", REG_DWORD, std::string("\x01\x02\x03\x04", 4), ""},
        {cu, app, "Long", REG_SZ, Z(I("\\") + x600 + ";" + kInstall), Z(N + "\\" + x600 + ";" + N)},
        {cu, app, std::string(300, 'N'), REG_SZ, Z(shared), Z(N)},
        {cu, app, "ZZ after the long ones", REG_SZ, Z(kInstall), Z(N)},
        // every spelling of the old folders, written back in its own spelling
        {cu, app, "Env", REG_EXPAND_SZ, Z("%SystemDrive%\\Program Files\\Kestrin Suite\\k.exe"),
         Z("%SystemDrive%\\Program Files\\Halvern\\Dovetra 5\\k.exe")},
        {cu, app, "Short", REG_SZ, Z(ShortForm(kInstall) + "\\Kestrin.exe %1"),
         Z(ShortForm(kFinal) + "\\Dovetra.exe %1")},
        {cu, app, "Slash", REG_SZ, Z("C:/Program Files/Kestrin Suite/a.dll"),
         Z("C:/Program Files/Halvern/Dovetra 5/a.dll")},
        {cu, app, "Url", REG_SZ, Z("file:///C:/Program%20Files/Kestrin%20Suite/help.htm"),
         Z("file:///C:/Program%20Files/Halvern/Dovetra%205/help.htm")},
        // key names, value names and data in any script; a subtree below them
        {cu, world, u8"Документ Αβγ", REG_SZ, Z("\"" + I(u8"\\Kestrin.exe\" \"C:\\Users\\用户\\Αβγ.ksd\"")),
         Z("\"" + N + u8"\\Dovetra.exe\" \"C:\\Users\\用户\\Αβγ.ksd\"")},
        {cu, world + u8"\\Ωμέγα", u8"Ζ", REG_SZ, Z(shared), Z(N)},
        {HKEY_LOCAL_MACHINE, "Software\\DvRegTest\\Sub\\Deep", "Shared", REG_SZ, Z(shared + "\\WMF.F32"),
         Z(N + "\\WMF.F32")},
        {cu, std::string(kClassKey) + "\\shell\\open\\command", "", REG_SZ, Z(I("\\Kestrin.exe /dde")),
         Z(N + "\\Dovetra.exe /dde")},
        // links are leaves, kept as they are: a cycle to the parent ends at once,
        // a key linked to is rewritten at its own place, an old key that is a
        // link goes itself, never what it points to
        {cu, app + "\\Loop", "SymbolicLinkValue", REG_LINK, app, ""},
        {cu, "Software\\DvRegTest\\Linked", "SymbolicLinkValue", REG_LINK, "Software\\DvRegTest\\Target", ""},
        {cu, "Software\\DvRegTest\\Target", "Exe", REG_SZ, Z(I("\\Kestrin.exe")), Z(N + "\\Dovetra.exe")},
        {cu, "Vantor", "SymbolicLinkValue", REG_LINK, "Software\\DvRegTest\\Mine", ""},
        {cu, "Software\\DvRegTest\\Mine", "Keep", REG_SZ, Z("mine"), ""},
        // the deepest level entered, and the first left out
        {cu, Deep(kMaxRegistryDepth), "Deep", REG_SZ, Z(kInstall), Z(N)},
        {cu, Deep(kMaxRegistryDepth + 1), "Deep", REG_SZ, Z(kInstall), ""},
    };
}

const char* const kOldKeys[] = {
    "Kestrin 5.0", "Vantor", "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files",
    "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0", "Software\\Vantor Corp.\\Vantor"};

// The fixture row that makes the old key `k` a link, or none.
const Fixture* LinkAt(const std::vector<Fixture>& rows, const char* k) {
    for (const Fixture& f : rows)
        if (f.type == REG_LINK && f.key == k) return &f;
    return nullptr;
}

void WriteFixtures() {
    std::vector<Fixture> rows = Fixtures();
    for (const Fixture& f : rows) {
        if (f.type == REG_LINK)
            PutLink(f.key.c_str(), f.in.c_str());
        else
            PutValue(f.root, f.key.c_str(), f.name.c_str(), f.type, f.in);
    }
    // Old keys, "files" below its parent, which holds no value of its own.
    for (const char* k : kOldKeys)
        if (!LinkAt(rows, k) && k != kOldKeys[3]) PutText(HKEY_CURRENT_USER, k, "x", "1");
}

const RegEntry kGone{0xFFFFFFFF, ""};

RegSnapshot ExpectedChanges() {
    RegSnapshot e;
    std::vector<Fixture> rows = Fixtures();
    for (const Fixture& f : rows)
        if (!f.out.empty())
            e[(f.root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + f.key + ":" + f.name] = {f.type, f.out};
    for (const char* k : kOldKeys) {
        const Fixture* link = LinkAt(rows, k);
        e[std::string("HKCU\\") + k + "\\"] = kGone;
        if (k != kOldKeys[3]) e[std::string("HKCU\\") + k + ":" + (link ? link->name : "x")] = kGone;
    }
    const std::string h = "HKCU\\Software\\Halvern\\", w = h + "Dovetra for Windows\\Dovetra 5",
                      d = "HKCU\\Software\\Design Science\\";
    for (const std::string& k : {h, h + "Dovetra 5\\", h + "Dovetra for Windows\\", w + "\\", d, d + "KSEQ2\\",
                                 d + "KSEQ2\\Preferences\\", d + "KSEQ2\\Preferences\\Directories\\"})
        e[k] = {REG_NONE, ""};
    // New text is UTF-16 with its NUL: "Offscreen" is the one character "0".
    e[h + "Dovetra 5:Vantor Directory"] = e[w + ":User Directory"] = {REG_SZ, Z(kFinal)};
    e[d + "KSEQ2\\Preferences\\Directories:AppDir"] = {REG_SZ, Z(kFinal)};
    e[w + ":Hyphenation"] = {REG_SZ, Z(F("\\USENGLSH.CHY"))};
    e[w + ":MainDictionary"] = {REG_SZ, Z(F("\\USENGLSH.MSP"))};
    e[w + ":Thesaurus"] = {REG_SZ, Z(F("\\USENGLSH.MTH"))};
    e[w + ":UserDictionary"] = {REG_SZ, Z(F("\\USER.USP"))};
    e[w + ":Offscreen"] = {REG_SZ, std::string("0\0\0\0", 4)};
    e[w + ":ScaleIndex"] = {REG_SZ, Z("6")};
    return e;
}

// Type, byte count and the data as UTF-16 units: ASCII as is, others as \uXXXX.
std::string Show(const RegEntry& e) {
    std::string s = std::to_string(e.type) + " " + std::to_string(e.data.size()) + " [";
    for (size_t i = 0; i + 1 < e.data.size(); i += 2) {
        unsigned u = static_cast<unsigned char>(e.data[i]) | static_cast<unsigned char>(e.data[i + 1]) << 8;
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\u%04x", u);
        s += u == 0 ? std::string("\\0") : u < 0x80 ? std::string(1, static_cast<char>(u)) : std::string(hex);
    }
    return s + "]";
}

// Whether `list` names the key (and value).
bool Named(const RegistryList& list, const std::string& key, const std::string& value = "") {
    for (const RegistryItem& i : list.items)
        if (i.key == key && i.value == value) return true;
    return false;
}

TEST_F(RegistryMigration, OnlyTheExpectedValuesChangeAnywhere) {
    WriteFixtures();
    // The install folder is gone by now, as after relocation: its 8.3 form
    // was taken before.
    ASSERT_NE(ShortForm(kInstall), kInstall);
    ShortForms kept = TakeShortForms(kInstall, kShared);
    ASSERT_TRUE(RemoveDirectoryW(Wide(kInstall).c_str()));
    RegSnapshot before = SnapshotAll();
    RegistryResult r = MigrateRegistry(kInstall, kShared, kFinal, kept, nullptr, StopCheck());
    EXPECT_TRUE(r.Complete());
    for (const Fixture& f : Fixtures()) {
        if (f.type == REG_LINK) {
            EXPECT_TRUE(Named(r.walk.links, "HKEY_CURRENT_USER\\" + f.key)) << f.key;
        }
    }
    EXPECT_TRUE(Named(r.walk.tooDeep, "HKEY_CURRENT_USER\\" + Deep(kMaxRegistryDepth + 1)));
    RegSnapshot after = SnapshotAll();
    RegSnapshot changes = Changes(before, after);
    RegSnapshot expected = ExpectedChanges();
    for (const auto& c : changes) {
        if (c.first.rfind("HKCR\\", 0) == 0 || c.first.rfind("HKU\\", 0) == 0) {
            EXPECT_TRUE(SeenElsewhere(changes, c.first, c.second)) << c.first << " " << Show(c.second);
            continue;
        }
        auto e = expected.find(c.first);
        if (e == expected.end()) {
            ADD_FAILURE() << "unexpected change " << c.first << " " << Show(c.second);
            continue;
        }
        EXPECT_EQ(Show(c.second), Show(e->second)) << c.first;
    }
    for (const auto& e : expected) EXPECT_TRUE(changes.count(e.first)) << "missing change " << e.first;
}

TEST_F(RegistryMigration, SecondMigrationChangesNothing) {
    WriteFixtures();
    MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    RegSnapshot once = SnapshotStores();
    MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    RegSnapshot twice = SnapshotStores();
    RegSnapshot changes = Changes(once, twice);
    for (const auto& c : changes) ADD_FAILURE() << "changed again: " << c.first << " " << Show(c.second);
    int steps = 0;
    RegistryWalkResult w = RewriteRegistry(
        MigrationRewrites(kInstall, kShared, kFinal), RegistryMode::Rewrite, [&] { ++steps; }, nullptr);
    EXPECT_EQ(w.rewritten, 0u);
    EXPECT_GT(w.values, 100u);
    EXPECT_EQ(steps, 3);  // the progress bar moves three times
}

// A stop at each point, then a second run, ends with the registry of one
// uninterrupted run; at the stop the new values are in place and the old
// keys still there, so the installation can be found either way.
TEST_F(RegistryMigration, StoppedAnywhereThenRunAgainEqualsOneRun) {
    WriteFixtures();
    MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    const RegSnapshot once = SnapshotStores();
    struct {
        const char* where;
        int steps;   // progress steps before the stop
        int checks;  // stop checks passed after the last of them
    } const points[] = {
        {"after the new keys", 0, 1},  // the first check comes before them
        {"inside HKEY_CLASSES_ROOT", 0, 300},
        {"after HKEY_CURRENT_USER", 1, 0},
        {"inside HKEY_LOCAL_MACHINE", 1, 300},
        {"after HKEY_LOCAL_MACHINE", 2, 0},
        {"after HKEY_USERS, before the old keys go", 3, 0},
    };
    for (const auto& p : points) {
        SCOPED_TRACE(p.where);
        Clean();
        WriteFixtures();
        int steps = 0, checks = 0, asked = 0;
        bool stop = false;
        RegistryResult r = MigrateRegistry(
            kInstall, kShared, kFinal, {}, [&] { ++steps; },
            [&] {
                asked += stop;
                stop = stop || (steps == p.steps && checks++ == p.checks);
                return stop;
            });
        EXPECT_TRUE(r.stopped);
        EXPECT_EQ(asked, 0) << "asked again after it said stop";
        RegSnapshot now;
        SnapshotTree(HKEY_CURRENT_USER, "HKCU", "Software\\Halvern", now);
        SnapshotTree(HKEY_CURRENT_USER, "HKCU", "Software\\Design Science", now);
        for (const auto& e : ExpectedChanges()) {
            bool isNew = e.first.rfind("HKCU\\Software\\Halvern", 0) == 0 ||
                         e.first.rfind("HKCU\\Software\\Design Science", 0) == 0;
            EXPECT_TRUE(!isNew || (now.count(e.first) && now[e.first] == e.second))
                << "missing at the stop: " << e.first;
        }
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor"));
        EXPECT_FALSE(MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck()).stopped);
        for (const auto& c : Changes(once, SnapshotStores()))
            ADD_FAILURE() << "differs from one run: " << c.first << " " << Show(c.second);
    }
}

TEST_F(RegistryMigration, OldKeysDeletedEvenWhenSomeAreMissing) {
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Other", "x", "1");
    MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Other"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Halvern\\Dovetra 5"));
    // A new key that cannot be made (its parent is volatile) fails the step,
    // and the old keys stay: without the new ones they find the installation.
    const wchar_t* parent = L"Software\\Design Science";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, parent);
    HKEY k;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_CURRENT_USER, parent, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &k, nullptr),
        ERROR_SUCCESS);
    ::RegCloseKey(k);
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor", "x", "1");
    EXPECT_FALSE(MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck()).Complete());
    RegistryResult r = MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    EXPECT_TRUE(r.oldKeysKept);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor"));
    ASSERT_EQ(r.newValuesNotWritten.count, 1u);
    EXPECT_EQ(r.newValuesNotWritten.items[0].value, "AppDir");
    EXPECT_EQ(r.newValuesNotWritten.items[0].error, static_cast<unsigned long>(ERROR_CHILD_MUST_BE_VOLATILE));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, parent);
}

TEST_F(RegistryMigration, KeySeenThroughTwoRootsIsRewrittenOnce) {
    PutText(HKEY_CURRENT_USER, "Software\\Classes\\DvRegTestClass\\shell\\open\\command", "",
            std::string(kInstall) + "\\Kestrin.exe \"%1\"");
    // Every root walked in full, no alias left out: the second and third
    // visits must find nothing more to change.
    RegistryWalkResult stats;
    RewriteTable table = MigrationRewrites(kInstall, kShared, kFinal);
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
        stats.Add(RewriteRegistryTree(root, "root", table));
    EXPECT_EQ(stats.rewritten, 1u);
    EXPECT_EQ(stats.notWritten.count, 0u);
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\Classes\\DvRegTestClass\\shell\\open\\command", "", e));
    EXPECT_EQ(e.data, Z(F("\\Dovetra.exe \"%1\"")));
    // The same key is visible through more than one root.
    int roots = KeyExists(HKEY_CLASSES_ROOT, "DvRegTestClass") ? 2 : 1;
    RegSnapshot users;
    SnapshotTree(HKEY_USERS, "HKU", "", users);
    for (const auto& u : users)
        if (u.first.find("DvRegTestClass\\shell\\open\\command:") != std::string::npos) ++roots;
    EXPECT_GE(roots, 2) << "the alias this test is about is not there";
}

TEST_F(RegistryMigration, OtherUsersHivesAreWalkedTheCurrentUsersOnce) {
    PutText(HKEY_USERS, ".Default\\Software\\DvRegTest", "p", std::string(kInstall) + "\\a.dll");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest", "p", std::string(kInstall) + "\\b.dll");
    RegistryWalkResult stats =
        RewriteRegistry(MigrationRewrites(kInstall, kShared, kFinal), RegistryMode::Rewrite, nullptr, nullptr);
    DeleteTree(HKEY_USERS, ".Default\\Software\\DvRegTest");
    EXPECT_EQ(stats.rewritten, 2u);
    EXPECT_GE(stats.aliasesLeft, 1u);  // the current user's hive below HKEY_USERS
}

// "key:value error" per item, for comparing two lists.
std::string Listed(const RegistryList& list) {
    std::string s;
    for (const RegistryItem& i : list.items) s += i.key + ":" + i.value + " " + std::to_string(i.error) + "\n";
    return s;
}

// What this process may not do: the dry run changes nothing and names what
// the step then fails to do; a key it cannot write hides none below it.
TEST_F(RegistryMigration, DryRunNamesWhatTheStepCannotDo) {
    PutText(HKEY_CURRENT_USER, kLocked, "Own", kInstall);
    PutText(HKEY_CURRENT_USER, kLocked, "Unrelated", "C:\\Elsewhere");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Locked\\Quiet", "q", "nothing to change");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Locked\\Inner", "Path", kInstall);
    // New keys read-only: one there, one missing below a read-only parent
    // (two levels: Wine 8 lets one level be created below it all the same);
    // a new value in place in a read-only key (done, needs no right); an old
    // key holding a key of the user's.
    PutText(HKEY_CURRENT_USER, kLockable[4], "Other", "1");
    PutText(HKEY_CURRENT_USER, kLockable[3], "AppDir", kFinal);
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor\\User Data", "x", "1");
    for (const char* k : kLockable) ASSERT_EQ(SetAccess(k, kReadOnly), 0u) << k;
    HKEY probe;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kLocked).c_str(), 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this Wine does not enforce key DACLs";
    }
    RegSnapshot before = SnapshotStores();
    RegistryResult dry = CheckRegistry(kInstall, kShared, kFinal, {});
    for (const auto& c : Changes(before, SnapshotStores())) ADD_FAILURE() << "the dry run changed " << c.first;
    // Only the one value that needs a change is named: keys with nothing to
    // change are never asked for write access.
    EXPECT_EQ(Listed(dry.walk.notWritten), "HKEY_CURRENT_USER\\Software\\DvRegTest\\Locked:Own 5\n");
    EXPECT_EQ(dry.walk.rewritten, 1u);
    EXPECT_EQ(dry.newValuesNotWritten.count, 8u);
    EXPECT_TRUE(Named(dry.newValuesNotWritten, "HKEY_CURRENT_USER\\Software\\Halvern\\Dovetra 5", "Vantor Directory"));
    EXPECT_EQ(Listed(dry.oldKeysNotDeleted), "HKEY_CURRENT_USER\\Software\\Vantor Corp.\\Vantor: 5\n");

    RegistryResult run = MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    EXPECT_EQ(Listed(run.walk.notWritten), Listed(dry.walk.notWritten));
    EXPECT_EQ(run.walk.rewritten, 1u);
    EXPECT_EQ(Listed(run.newValuesNotWritten), Listed(dry.newValuesNotWritten));
    EXPECT_TRUE(run.oldKeysKept);
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\DvRegTest\\Locked\\Inner", "Path", e));
    EXPECT_EQ(e.data, Z(kFinal));
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, kLocked, "Own", e));
    EXPECT_EQ(e.data, Z(kInstall));
    ASSERT_EQ(SetAccess(kLockable[2], KEY_ALL_ACCESS), 0u);
    ASSERT_EQ(SetAccess(kLockable[4], KEY_ALL_ACCESS), 0u);
    run = MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr, StopCheck());
    EXPECT_EQ(run.newValuesNotWritten.count, 0u);
    EXPECT_EQ(Listed(run.oldKeysNotDeleted), Listed(dry.oldKeysNotDeleted));
}

// Rewrites under `root` with one old text (a folder or a file name); the
// number of values written.
unsigned long Rewrite(HKEY root, const char* oldText, const char* newText, MatchKind kind) {
    RewriteTable table;
    table.Add(std::string(oldText), std::string(newText), kind);
    table.AddIdentity(std::string(newText), kind);
    return RewriteRegistryTree(root, "HKEY_CURRENT_USER\\Software\\DvRegTest", table).rewritten;
}

TEST_F(RegistryMigration, RewriteCountsLargeValuesAndLongNames) {
    const char* key = "Software\\DvRegTest\\Big";
    PutText(HKEY_CURRENT_USER, key, "a", std::string(kInstall) + "\\" + std::string(5000, 'b'));
    PutText(HKEY_CURRENT_USER, key, std::string(1000, 'n').c_str(), kInstall);
    PutText(HKEY_CURRENT_USER, key, "z", kInstall);
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Big\\Child", "z", std::string(kInstall) + "\\Kestrin.exe");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Other", "z", "C:\\Apps\\Kestrin Tools");
    HKEY root;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kUserKey).c_str(), 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_EQ(Rewrite(root, kInstall, kFinal, MatchKind::Folder), 4u);
    EXPECT_EQ(Rewrite(root, kInstall, kFinal, MatchKind::Folder), 0u);
    EXPECT_EQ(Rewrite(root, "Kestrin.exe", "Dovetra.exe", MatchKind::FileName), 1u);
    RegCloseKey(root);
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, key, "a", e));
    EXPECT_EQ(e.data, Z(F("\\") + std::string(5000, 'b')));
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\DvRegTest\\Big\\Child", "z", e));
    EXPECT_EQ(e.data, Z(F("\\Dovetra.exe")));
}

}  // namespace

// The bar measures a walk by the keys it enters down to kCountDepth: the
// count taken before it must be that number, whatever the tree's shape.
TEST_F(RegistryMigration, TheCountIsWhatTheWalkEntersNearItsStart) {
    for (const char* path : {"A\\B\\C\\D\\E", "A\\B\\F", "A\\G", "H", "I\\J\\K\\L", "I\\J\\M", "I\\N\\O\\P\\Q"})
        PutText(HKEY_CURRENT_USER, (std::string(kUserKey) + "\\" + path).c_str(), "v", "x");
    HKEY root;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kUserKey).c_str(), 0, KEY_READ, &root), ERROR_SUCCESS);
    RewriteTable table = MigrationRewrites(kInstall, kShared, kFinal);
    unsigned long entered = 0, all = 0;
    RegistryWalkResult walk = RewriteRegistryTree(root, "root", table, RegistryMode::DryRun, {}, {},
                                                  [&](unsigned depth) { entered += depth <= kCountDepth, ++all; });
    RegistryWalkResult count = RewriteRegistryTree(root, "root", RewriteTable(), RegistryMode::Count);
    RegCloseKey(root);
    EXPECT_EQ(count.keys, 1 + entered);  // the start, which nothing enters
    EXPECT_EQ(walk.keys, 1 + all);
    EXPECT_LT(entered, all) << "the tree must reach below the counted depth";
}
