// The registry migration against a real (Wine) registry, in a prefix of this
// test's own: fixtures are written, the whole registry is read before and
// after, and every difference must be one that was asked for.
#include <gtest/gtest.h>
#include <aclapi.h>
#include <commctrl.h>
#include <cstring>
#include <string>
#include "common/ids.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "reg_snapshot.h"

namespace {

const char* kInstall = "C:\\Apps\\Kestrin";
const char* kShared = "C:\\Vantor\\Shared";
const char* kFinal = "C:\\Program Files\\Halvern\\Dovetra 5";
const char* kUserKey = "Software\\DvRegTest";
const char* kClassKey = "Software\\Classes\\DvRegTestClass";

std::string Z(const std::string& s) { return std::string(s.c_str(), s.size() + 1); }
std::string F(const char* rest) { return std::string(kFinal) + rest; }

class RegistryMigration : public ::testing::Test {
protected:
    void SetUp() override {
        Clean();
        ResetUpdaterState();
        std::strcpy(g_state.installFolder, kInstall);
        std::strcpy(g_state.sharedFolder, kShared);
        std::strcpy(g_state.finalInstallFolder, kFinal);
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
    LONG rc = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, WRITE_DAC | READ_CONTROL, &key);
    if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
    EXPLICIT_ACCESSA ea{};
    ea.grfAccessPermissions = readOnly ? (KEY_READ | WRITE_DAC | DELETE) : KEY_ALL_ACCESS;
    ea.grfAccessMode = SET_ACCESS;
    ea.grfInheritance = NO_INHERITANCE;
    ea.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    ea.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    char everyone[] = "EVERYONE";
    ea.Trustee.ptstrName = everyone;
    PACL acl = nullptr;
    DWORD err = SetEntriesInAclA(1, &ea, nullptr, &acl);
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
    auto twin = [&](const std::string& p) { auto it = d.find(p); return it != d.end() && it->second == e; };
    if (path.rfind("HKCR\\", 0) == 0)
        return twin("HKCU\\Software\\Classes\\" + path.substr(5)) ||
               twin("HKLM\\Software\\Classes\\" + path.substr(5));
    if (path.rfind("HKU\\", 0) == 0) {
        size_t sid = path.find('\\', 4);
        if (sid == std::string::npos) return false;
        std::string rest = path.substr(sid + 1);
        if (path.compare(sid - 8, 8, "_Classes") == 0) return twin("HKCU\\Software\\Classes\\" + rest);
        return twin("HKCU\\" + rest);
    }
    return false;
}

void WriteFixtures() {
    const char* app = "Software\\DvRegTest\\App";
    PutText(HKEY_CURRENT_USER, app, "Path", kInstall);
    PutText(HKEY_CURRENT_USER, app, "Exe", std::string("\"") + kInstall + "\\Kestrin.exe\" \"%1\"");
    PutText(HKEY_CURRENT_USER, app, "Tools", "C:\\Apps\\Kestrin Tools\\x.dll");
    PutValue(HKEY_CURRENT_USER, app, "Twice", REG_EXPAND_SZ, Z("C:\\Apps\\Kestrin\\a;c:\\apps\\KESTRIN\\b"));
    PutValue(HKEY_CURRENT_USER, app, "Multi", REG_MULTI_SZ,
             std::string("C:\\Vantor\\Shared\\WMF.F32\0other\0Kestrin.exe\0\0", 44));
    PutValue(HKEY_CURRENT_USER, app, "Bin", REG_BINARY, Z("C:\\Apps\\Kestrin\\Kestrin.exe"));
    PutValue(HKEY_CURRENT_USER, app, "NoNul", REG_SZ, std::string(kInstall) + "\\n.dll");
    PutValue(HKEY_CURRENT_USER, app, "Tail", REG_SZ, std::string(kInstall) + std::string("\0junk", 5));
    PutValue(HKEY_CURRENT_USER, app, "Dword", REG_DWORD, std::string("\x01\x02\x03\x04", 4));
    PutText(HKEY_CURRENT_USER, app, "Long", std::string(kInstall) + "\\" + std::string(600, 'x') + ";" + kInstall);
    PutText(HKEY_CURRENT_USER, app, std::string(300, 'N').c_str(), kShared);
    PutText(HKEY_CURRENT_USER, app, "ZZ after the long ones", kInstall);
    PutText(HKEY_LOCAL_MACHINE, "Software\\DvRegTest\\Sub\\Deep", "Shared", std::string(kShared) + "\\WMF.F32");
    PutText(HKEY_CURRENT_USER, "Software\\Classes\\DvRegTestClass\\shell\\open\\command", "",
            std::string(kInstall) + "\\Kestrin.exe /dde");
    // Old keys, "files" below its parent.
    PutText(HKEY_CURRENT_USER, "Kestrin 5.0", "x", "1");
    PutText(HKEY_CURRENT_USER, "Vantor", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor", "Vantor Directory", kShared);
}

const RegEntry kGone{0xFFFFFFFF, ""};

RegSnapshot ExpectedChanges() {
    RegSnapshot e;
    const std::string app = "HKCU\\Software\\DvRegTest\\App:";
    e[app + "Path"] = {REG_SZ, Z(kFinal)};
    e[app + "Exe"] = {REG_SZ, Z("\"" + F("\\Dovetra.exe\" \"%1\""))};
    e[app + "Twice"] = {REG_EXPAND_SZ, Z(F("\\a;") + F("\\b"))};
    e[app + "Multi"] = {REG_MULTI_SZ, F("\\WMF.F32") + std::string("\0other\0Dovetra.exe\0\0", 20)};
    e[app + "NoNul"] = {REG_SZ, F("\\n.dll")};
    e[app + "Tail"] = {REG_SZ, kFinal + std::string("\0junk", 5)};
    e[app + "Long"] = {REG_SZ, Z(F("\\") + std::string(600, 'x') + ";" + kFinal)};
    e[app + std::string(300, 'N')] = {REG_SZ, Z(kFinal)};
    e[app + "ZZ after the long ones"] = {REG_SZ, Z(kFinal)};
    e["HKLM\\Software\\DvRegTest\\Sub\\Deep:Shared"] = {REG_SZ, Z(F("\\WMF.F32"))};
    e["HKCU\\Software\\Classes\\DvRegTestClass\\shell\\open\\command:"] = {REG_SZ, Z(F("\\Dovetra.exe /dde"))};
    for (const char* k : {"HKCU\\Kestrin 5.0", "HKCU\\Vantor",
                          "HKCU\\Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files",
                          "HKCU\\Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0"}) {
        e[std::string(k) + "\\"] = kGone;
    }
    e["HKCU\\Kestrin 5.0:x"] = e["HKCU\\Vantor:x"] = kGone;
    e["HKCU\\Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files:x"] = kGone;
    e["HKCU\\Software\\Vantor Corp.\\Vantor\\"] = kGone;
    e["HKCU\\Software\\Vantor Corp.\\Vantor:Vantor Directory"] = kGone;
    const std::string h = "HKCU\\Software\\Halvern\\", w = h + "Dovetra for Windows\\Dovetra 5";
    for (const char* k : {"Software\\Halvern\\", "Software\\Halvern\\Dovetra 5\\",
                          "Software\\Halvern\\Dovetra for Windows\\",
                          "Software\\Halvern\\Dovetra for Windows\\Dovetra 5\\",
                          "Software\\Design Science\\", "Software\\Design Science\\KSEQ2\\",
                          "Software\\Design Science\\KSEQ2\\Preferences\\",
                          "Software\\Design Science\\KSEQ2\\Preferences\\Directories\\"})
        e[std::string("HKCU\\") + k] = {REG_NONE, ""};
    e[h + "Dovetra 5:Vantor Directory"] = {REG_SZ, kFinal};
    e[w + ":Hyphenation"] = {REG_SZ, F("\\USENGLSH.CHY")};
    e[w + ":MainDictionary"] = {REG_SZ, F("\\USENGLSH.MSP")};
    e[w + ":Offscreen"] = {REG_SZ, "0"};
    e[w + ":ScaleIndex"] = {REG_SZ, "6"};
    e[w + ":Thesaurus"] = {REG_SZ, F("\\USENGLSH.MTH")};
    e[w + ":User Directory"] = {REG_SZ, kFinal};
    e[w + ":UserDictionary"] = {REG_SZ, F("\\USER.USP")};
    e["HKCU\\Software\\Design Science\\KSEQ2\\Preferences\\Directories:AppDir"] = {REG_SZ, kFinal};
    return e;
}

std::string Show(const RegEntry& e) {
    std::string s = std::to_string(e.type) + " [";
    for (char c : e.data) s += c ? std::string(1, c) : std::string("\\0");
    return s + "]";
}

TEST_F(RegistryMigration, OnlyTheExpectedValuesChangeAnywhere) {
    WriteFixtures();
    RegSnapshot before = SnapshotAll();
    EXPECT_EQ(MigrateRegistry(nullptr, kFinal), 0);
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
    for (const auto& e : expected)
        EXPECT_TRUE(changes.count(e.first)) << "missing change " << e.first;
    // Untouched: a folder that only begins like the install folder, binary
    // data that spells a path, a number.
    EXPECT_EQ(Show(after.at("HKCU\\Software\\DvRegTest\\App:Tools")),
              Show(before.at("HKCU\\Software\\DvRegTest\\App:Tools")));
    EXPECT_EQ(Show(after.at("HKCU\\Software\\DvRegTest\\App:Bin")),
              Show(RegEntry{REG_BINARY, Z("C:\\Apps\\Kestrin\\Kestrin.exe")}));
}

TEST_F(RegistryMigration, SecondMigrationChangesNothing) {
    WriteFixtures();
    MigrateRegistry(nullptr, kFinal);
    RegSnapshot once = SnapshotAll();
    MigrateRegistry(nullptr, kFinal);
    RegSnapshot twice = SnapshotAll();
    RegSnapshot changes = Changes(once, twice);
    for (const auto& c : changes) ADD_FAILURE() << "changed again: " << c.first << " " << Show(c.second);
    RegistryWalkStats stats{};
    RewriteRegistry(MigrationRewrites(kInstall, kShared, kFinal), nullptr, stats);
    EXPECT_EQ(stats.rewritten, 0u);
    EXPECT_GT(stats.values, 100u);
}

TEST_F(RegistryMigration, NewKeysHoldTheirTextWithoutNul) {
    MigrateRegistry(nullptr, kFinal);  // none of the old keys exist: no matter
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\Halvern\\Dovetra for Windows\\Dovetra 5", "Offscreen", e));
    EXPECT_EQ(e.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(e.data, std::string("0"));
    ASSERT_EQ(e.data.size(), 1u);
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\Halvern\\Dovetra 5", "Vantor Directory", e));
    EXPECT_EQ(e.data.size(), std::strlen(kFinal));
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\Design Science\\KSEQ2\\Preferences\\Directories", "AppDir", e));
    EXPECT_EQ(e.data, std::string(kFinal));
}

TEST_F(RegistryMigration, OldKeysDeletedEvenWhenSomeAreMissing) {
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0\\files", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor", "x", "1");
    PutText(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Other", "x", "1");
    MigrateRegistry(nullptr, kFinal);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows\\Kestrin 5.0"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Kestrin for Windows"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Other"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Halvern\\Dovetra 5"));
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
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kLocked, 0, KEY_ALL_ACCESS, &probe) == ERROR_SUCCESS) {
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

TEST_F(RegistryMigration, ReplaceInRegistryTreeCountsLargeValuesAndLongNames) {
    const char* key = "Software\\DvRegTest\\Big";
    PutText(HKEY_CURRENT_USER, key, "a", std::string(kInstall) + "\\" + std::string(5000, 'b'));
    PutText(HKEY_CURRENT_USER, key, std::string(1000, 'n').c_str(), kInstall);
    PutText(HKEY_CURRENT_USER, key, "z", kInstall);
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Big\\Child", "z", std::string(kInstall) + "\\Kestrin.exe");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\Other", "z", "C:\\Apps\\Kestrin Tools");
    HKEY root;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kUserKey, 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_EQ(ReplaceInRegistryTree(root, kInstall, kFinal), 4);
    EXPECT_EQ(ReplaceInRegistryTree(root, kInstall, kFinal), 0);
    EXPECT_EQ(ReplaceInRegistryTree(root, "Kestrin.exe", "Dovetra.exe"), 1);
    RegCloseKey(root);
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, key, "a", e));
    EXPECT_EQ(e.data, Z(F("\\") + std::string(5000, 'b')));
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\DvRegTest\\Big\\Child", "z", e));
    EXPECT_EQ(e.data, Z(F("\\Dovetra.exe")));
}

TEST_F(RegistryMigration, SharedFolderInsideInstallFolder) {
    std::strcpy(g_state.sharedFolder, "C:\\Apps\\Kestrin\\Shared");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\N", "w", "C:\\Apps\\Kestrin\\Shared\\WMF.F32");
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\N", "k", "C:\\Apps\\Kestrin\\K.ini");
    MigrateRegistry(nullptr, kFinal);
    MigrateRegistry(nullptr, kFinal);
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\DvRegTest\\N", "w", e));
    EXPECT_EQ(e.data, Z(F("\\WMF.F32")));
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\DvRegTest\\N", "k", e));
    EXPECT_EQ(e.data, Z(F("\\K.ini")));
}

TEST_F(RegistryMigration, NotMovedWritesNothingForTheInstallFolder) {
    std::strcpy(g_state.finalInstallFolder, kInstall);
    PutText(HKEY_CURRENT_USER, "Software\\DvRegTest\\S", "p", "c:\\apps\\KESTRIN\\a.dll");
    RegistryWalkStats stats{};
    RewriteRegistry(MigrationRewrites(kInstall, kShared, kInstall), nullptr, stats);
    EXPECT_EQ(stats.rewritten, 0u);
    RegEntry e;
    ASSERT_TRUE(ReadValue(HKEY_CURRENT_USER, "Software\\DvRegTest\\S", "p", e));
    EXPECT_EQ(e.data, Z("c:\\apps\\KESTRIN\\a.dll"));
}

TEST_F(RegistryMigration, StepsTheProgressBarThreeTimes) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    HWND dialog = CreateWindowExA(0, "STATIC", "registry test", WS_POPUP, 0, 0, 200, 50, nullptr,
                                  nullptr, nullptr, nullptr);
    if (!dialog) GTEST_SKIP() << "no display for a window";
    HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, 0, 0, 180, 10, dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PROGRESS)),
                               nullptr, nullptr);
    ASSERT_NE(bar, nullptr);
    MigrateRegistry(dialog, kFinal);
    EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 3);
    DestroyWindow(dialog);
}

}  // namespace
