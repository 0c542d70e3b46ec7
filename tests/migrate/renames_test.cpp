// RenameProductItems in a scratch shared folder and final install folder,
// with one preference file standing for all of them.
#include <string>
#include "migrate/renames.h"
#include "platform/dir.h"
#include "scratch.h"

using namespace migrate;

using Renames = Scratch;

static const char kOld[] = "Kestrin 5 Macros.prf";
static const char kNew[] = "Dovetra 5 Macros.prf";

TEST_F(Renames, TheInstallFolderIsRenamedWithoutReplacingAnything) {
    MakeTree(root, {"Vantor\\", "Vantor\\Kestrin Labels\\", "Inst\\", "Inst\\Kestrin.exe=exe", "Inst\\Kestrin Styles\\",
                    "Inst\\Kestrin Libraries\\", "Inst\\Dovetra Libraries\\", "Inst\\Dovetra Libraries\\mine=m"});
    EXPECT_TRUE(RenameProductItems(At("Vantor").c_str(), At("Inst").c_str()));
    EXPECT_EQ(ReadText(At("Inst\\Dovetra.exe")), "exe");
    EXPECT_TRUE(IsDir(At("Inst\\Dovetra Styles")));
    EXPECT_TRUE(IsDir(At("Vantor\\Dovetra Labels")));
    EXPECT_TRUE(IsDir(At("Inst\\Kestrin Libraries"))) << "an existing new name is never replaced";
    EXPECT_EQ(ReadText(At("Inst\\Dovetra Libraries\\mine")), "m");
    EXPECT_EQ(CurrentDir(), At("Inst"));
    EXPECT_TRUE(g_boxes.empty());
    // A program that keeps its old name (the new one is taken) fails the step.
    WriteText(At("Inst\\Kestrin.exe"), "patched");
    EXPECT_FALSE(RenameProductItems(At("Vantor").c_str(), At("Inst").c_str()));
    EXPECT_EQ(ReadText(At("Inst\\Kestrin.exe")), "patched");
}

// The install folder's old-named preference file is deleted only when it is
// the tree copy's copy of a file the shared folder still has.
TEST_F(Renames, APreferenceFileIsDeletedOnlyWhereAnotherCopyIsKept) {
    // clang-format off
    struct { const char* shared; bool sharedOld, sharedNew, instOld; const char* keptOld; const char* keptNew; } rows[] = {
        // shared folder     old    new    inst   then: old in inst, new in shared
        {"Vantor", true, false, true, "<missing>", "shared"},            // renamed, copy deleted
        {"Vantor", true, true, true, "<missing>", "earlier"},            // rename refused, shared old kept
        {"Vantor", false, false, true, "inst", "<missing>"},             // no shared file: the only copy
        {"Vantor", false, true, true, "inst", "earlier"},                // not copied from the shared folder
        {"Inst", true, false, false, "<missing>", "shared"},             // one folder: renamed in place
        {"Inst", true, true, false, "shared", "earlier"},                // one folder, refused: kept
        {"inst\\..\\INST", true, true, false, "shared", "earlier"},      // the same under another spelling
    };
    // clang-format on
    for (auto& r : rows) {
        platform::SetCurrentFolder(root.c_str());  // the last row left Inst current
        RemoveAll(At("Vantor"));
        RemoveAll(At("Inst"));
        MakeTree(root, {"Vantor\\", "Inst\\"});
        std::string shared = At(r.shared);
        if (r.sharedOld) WriteText(shared + "\\" + kOld, "shared");
        if (r.sharedNew) WriteText(shared + "\\" + kNew, "earlier");
        if (r.instOld) WriteText(At("Inst\\") + kOld, "inst");
        RenameProductItems(shared.c_str(), At("Inst").c_str());
        std::string where = std::string(r.shared) + (r.sharedOld ? " old" : "") + (r.sharedNew ? " new" : "");
        EXPECT_EQ(ReadText(At("Inst\\") + kOld), r.keptOld) << where;
        EXPECT_EQ(ReadText(shared + "\\" + kNew), r.keptNew) << where;
        if (r.sharedOld && r.sharedNew) {
            EXPECT_EQ(ReadText(shared + "\\" + kOld), "shared") << where;
        }
    }
}
