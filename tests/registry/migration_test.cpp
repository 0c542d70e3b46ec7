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

// Gives the key `path` below HKCU a DACL that lets everyone read it, change
// its DACL and delete it, but neither set values nor create subkeys.
DWORD SetReadOnly(const char* path, bool readOnly) {
    HKEY key;
    LONG rc = RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path).c_str(), 0, WRITE_DAC | READ_CONTROL, &key);
    if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
    EXPLICIT_ACCESSW ea{};
    ea.grfAccessPermissions = readOnly ? (KEY_READ | WRITE_DAC | DELETE) : KEY_ALL_ACCESS;
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

const char* kLocked = "Software\\DvRegTest\\Locked";
void RegistryMigration::Unlock() {
    if (KeyExists(HKEY_CURRENT_USER, kLocked)) SetReadOnly(kLocked, false);
    const char* quiet = "Software\\DvRegTest\\Locked\\Quiet";
    if (KeyExists(HKEY_CURRENT_USER, quiet)) SetReadOnly(quiet, false);
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

// One value before and after the migration; `out` empty: left as it is.
struct Fixture {
    HKEY root;
    std::string key, name;
    DWORD type;
    std::string in, out;
};

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
    };
}

void WriteFixtures() {
    for (const Fixture& f : Fixtures()) PutValue(f.root, f.key.c_str(), f.name.c_str(), f.type, f.in);
    // Old keys, "files" below its parent.
    for (const char* k : {"Kestrin 5.0", "Vantor", "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files",
                          "Software\\Vantor Corp.\\Vantor"})
        PutText(HKEY_CURRENT_USER, k, "x", "1");
}

const RegEntry kGone{0xFFFFFFFF, ""};

RegSnapshot ExpectedChanges() {
    RegSnapshot e;
    for (const Fixture& f : Fixtures())
        if (!f.out.empty())
            e[(f.root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + f.key + ":" + f.name] = {f.type, f.out};
    for (const char* k : {"Kestrin 5.0", "Vantor", "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files",
                          "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0", "Software\\Vantor Corp.\\Vantor"})
        e[std::string("HKCU\\") + k + "\\"] = e[std::string("HKCU\\") + k + ":x"] = kGone;
    e.erase("HKCU\\Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0:x");
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

TEST_F(RegistryMigration, OnlyTheExpectedValuesChangeAnywhere) {
    WriteFixtures();
    // The install folder is gone by now, as after relocation: its 8.3 form
    // was taken before.
    ASSERT_NE(ShortForm(kInstall), kInstall);
    ShortForms kept = TakeShortForms(kInstall, kShared);
    ASSERT_TRUE(RemoveDirectoryW(Wide(kInstall).c_str()));
    RegSnapshot before = SnapshotAll();
    EXPECT_TRUE(MigrateRegistry(kInstall, kShared, kFinal, kept, nullptr));
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
    MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr);
    RegSnapshot once = SnapshotAll();
    MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr);
    RegSnapshot twice = SnapshotAll();
    RegSnapshot changes = Changes(once, twice);
    for (const auto& c : changes) ADD_FAILURE() << "changed again: " << c.first << " " << Show(c.second);
    RegistryWalkStats stats{};
    int steps = 0;
    RewriteRegistry(
        MigrationRewrites(kInstall, kShared, kFinal), [&] { ++steps; }, stats);
    EXPECT_EQ(stats.rewritten, 0u);
    EXPECT_GT(stats.values, 100u);
    EXPECT_EQ(steps, 3);  // the progress bar moves three times
}

TEST_F(RegistryMigration, OldKeysDeletedEvenWhenSomeAreMissing) {
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Other", "x", "1");
    MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Other"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Halvern\\Dovetra 5"));
    // A new key that cannot be made (its parent is volatile) fails the step.
    const wchar_t* parent = L"Software\\Design Science";
    ::RegDeleteTreeW(HKEY_CURRENT_USER, parent);
    HKEY k;
    ASSERT_EQ(
        ::RegCreateKeyExW(HKEY_CURRENT_USER, parent, 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &k, nullptr),
        ERROR_SUCCESS);
    ::RegCloseKey(k);
    EXPECT_FALSE(MigrateRegistry(kInstall, kShared, kFinal, {}, nullptr));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, parent);
}

TEST_F(RegistryMigration, KeySeenThroughTwoRootsIsRewrittenOnce) {
    PutText(HKEY_CURRENT_USER, "Software\\Classes\\DvRegTestClass\\shell\\open\\command", "",
            std::string(kInstall) + "\\Kestrin.exe \"%1\"");
    // Every root walked in full, no alias left out: the second and third
    // visits must find nothing more to change.
    RegistryWalkStats stats{};
    RewriteTable table = MigrationRewrites(kInstall, kShared, kFinal);
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS})
        RewriteRegistryTree(root, table, stats);
    EXPECT_EQ(stats.rewritten, 1u);
    EXPECT_EQ(stats.failedWrites, 0u);
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
    RegistryWalkStats stats{};
    RewriteRegistry(MigrationRewrites(kInstall, kShared, kFinal), nullptr, stats);
    DeleteTree(HKEY_USERS, ".Default\\Software\\DvRegTest");
    EXPECT_EQ(stats.rewritten, 2u);
    EXPECT_GE(stats.aliasesLeft, 1u);  // the current user's hive below HKEY_USERS
}

TEST_F(RegistryMigration, ReadOnlyKeyDoesNotHideItsSubtree) {
    PutText(HKEY_CURRENT_USER, kLocked, "Own", kInstall);
    PutText(HKEY_CURRENT_USER, kLocked, "Unrelated", "C:\\Elsewhere");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Locked\\Quiet", "q", "nothing to change");
    ASSERT_EQ(SetReadOnly("Software\\DvRegTest\\Locked\\Quiet", true), 0u);
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Locked\\Inner", "Path", kInstall);
    ASSERT_EQ(SetReadOnly(kLocked, true), 0u);
    HKEY probe;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kLocked).c_str(), 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
        RegCloseKey(probe);
        GTEST_SKIP() << "this Wine does not enforce key DACLs";
    }
    RegistryWalkStats stats{};
    RewriteRegistry(MigrationRewrites(kInstall, kShared, kFinal), nullptr, stats);
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\DvRegTest\\Locked\\Inner", "Path", e));
    EXPECT_EQ(e.data, Z(kFinal));
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, kLocked, "Own", e));
    EXPECT_EQ(e.data, Z(kInstall));  // cannot be written; reported, not fatal
    // Only the one value that needed a change was tried for writing: keys
    // with nothing to change are never asked for write access.
    EXPECT_EQ(stats.failedWrites, 1u);
    EXPECT_EQ(stats.rewritten, 1u);
}

// Rewrites under `root` with one old text (a folder or a file name); the
// number of values written.
unsigned long Rewrite(HKEY root, const char* oldText, const char* newText, MatchKind kind) {
    RewriteTable table;
    table.Add(std::string(oldText), std::string(newText), kind);
    table.AddIdentity(std::string(newText), kind);
    RegistryWalkStats stats{};
    RewriteRegistryTree(root, table, stats);
    return stats.rewritten;
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
