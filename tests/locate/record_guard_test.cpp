// The checks that keep the elevated updater to an administrator's record:
// who owns and may change it (over descriptors as the system reports them:
// Wine keeps no owner or access list but its own per file, so most rows
// cannot be staged there), and the folders a record may name.
#include <gtest/gtest.h>
#include "common/record_guard.h"

using namespace common;

TEST(RecordGuard, OwnersAndRights) {
    const TrustedSids t = {"S-1-5-18", "S-1-5-32-544", "S-1-5-21-1-2-3-1000"};
    const char* users = "S-1-5-32-545";
    platform::AccessEntry sy{true, false, "S-1-5-18", 0x1F01FF}, ba{true, false, "S-1-5-32-544", 0x1F01FF},
        usersRead{true, false, users, 0x1200A9};
    // clang-format off
    const struct { const char* row; platform::ObjectSecurity s; uint32_t rights; Distrust::Kind kind; const char* sid; } rows[] = {
        {"made by the updater", {"S-1-5-32-544", true, {sy, ba, usersRead}}, kChangeRights, Distrust::kNone, ""},
        {"the running account's", {t.self, true, {sy, {true, false, t.self, 0x1F01FF}}}, kChangeRights, Distrust::kNone, ""},
        {"another user's", {"S-1-5-21-1-2-3-1001", true, {sy, ba}}, kChangeRights, Distrust::kOwner, "S-1-5-21-1-2-3-1001"},
        {"no owner", {"", true, {sy}}, kChangeRights, Distrust::kOwner, ""},
        {"no access list", {"S-1-5-18", false, {}}, kChangeRights, Distrust::kNoList, ""},
        {"users may write", {"S-1-5-32-544", true, {sy, {true, false, users, 0x2}}}, kChangeRights, Distrust::kGrant, users},
        {"everyone may delete", {"S-1-5-32-544", true, {ba, {true, false, "S-1-1-0", 0x10000}}}, kChangeRights, Distrust::kGrant, "S-1-1-0"},
        {"users may change its rights", {"S-1-5-18", true, {{true, false, users, 0x40000}}}, kChangeRights, Distrust::kGrant, users},
        {"users, all by generic", {"S-1-5-18", true, {{true, false, users, 0x10000000}}}, kChangeRights, Distrust::kGrant, users},
        {"a denial grants nothing", {"S-1-5-18", true, {{false, false, users, 0x1F01FF}}}, kChangeRights, Distrust::kNone, ""},
        {"for what is made below only", {"S-1-5-18", true, {{true, true, users, 0x1F01FF}}}, kChangeRights, Distrust::kNone, ""},
        {"a lock others may wait on", {"S-1-5-32-544", true, {ba, {true, false, users, 0x100000}}}, kAnyRight, Distrust::kGrant, users},
    };
    // clang-format on
    for (const auto& r : rows) {
        Distrust d = DistrustOf(r.s, t, r.rights);
        EXPECT_EQ(d.kind, r.kind) << r.row;
        EXPECT_EQ(d.sid, r.sid) << r.row;
    }
}

TEST(RecordGuard, FoldersARecordMayName) {
    const SystemFolders sys = {"C:\\windows",
                               {"C:\\ProgramData", "C:\\Program Files", "C:\\users\\Public", "C:\\users"}};
    // clang-format off
    const struct { const char* folder; bool ok; } rows[] = {
        {"C:\\Program Files\\Vantor Corp\\Kestrin 5.0", true}, {"D:\\Apps\\Kestrin", true}, {"E:\\", true},
        {"C:\\users\\Public\\Kestrin", true}, {"\\\\server\\share\\Kestrin", true},
        {"Kestrin", false}, {"C:Kestrin", false}, {"C:\\", false},
        {"C:\\WINDOWS", false}, {"C:\\windows\\system32", false}, {"C:\\Windows.\\System32", false},
        {"C:\\ProgramData", false}, {"c:\\programdata", false}, {"C:\\Program Files", false}, {"C:\\users", false},
        {"C:\\Program Files\\..\\windows", false}, {"C:/windows/system32", false}, {"\\\\?\\C:\\windows", false},
        {"C:\\Program Files\\Kestrin \\x", false}, {"C:\\Program Files\\\\x", false},
    };
    // clang-format on
    for (const auto& r : rows) EXPECT_EQ(RecordFolderProblem(r.folder, sys).empty(), r.ok) << r.folder;
    UpdateRecord rec;
    rec.installFolder = rec.sharedFolder = rec.finalInstallFolder = "C:\\Program Files\\Vantor Corp\\Kestrin 5.0";
    EXPECT_EQ(RecordContentsProblem(rec, sys), "");
    rec.shortForms = {{"C:\\Program Files\\Vantor Corp", "C:\\WINDOWS"}};
    EXPECT_NE(RecordContentsProblem(rec, sys), "");
}
