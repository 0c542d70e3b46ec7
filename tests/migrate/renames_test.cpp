// RenameProductItems in a scratch shared folder and final install folder,
// with one preference file standing for all of them.
#include <string>
#include "migrate/renames.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "scratch.h"

using namespace migrate;

using Renames = Scratch;

static const char kOld[] = "Kestrin 5 Macros.prf";
static const char kNew[] = "Dovetra 5 Macros.prf";

TEST_F(Renames, TheInstallFolderIsRenamedWithoutReplacingAnything) {
    MakeTree(root, {"Vantor\\", "Vantor\\Kestrin Labels\\", "Inst\\", "Inst\\Kestrin.exe=exe", "Inst\\Kestrin Styles\\",
                    "Inst\\Kestrin Libraries\\", "Inst\\Dovetra Libraries\\", "Inst\\Dovetra Libraries\\mine=m"});
    EXPECT_TRUE(RenameProductItems(At("Vantor"), At("Inst"), 0).Ok());
    EXPECT_EQ(ReadText(At("Inst\\Dovetra.exe")), "exe");
    EXPECT_TRUE(IsDir(At("Inst\\Dovetra Styles")));
    EXPECT_TRUE(IsDir(At("Vantor\\Dovetra Labels")));
    EXPECT_TRUE(IsDir(At("Inst\\Kestrin Libraries"))) << "an existing new name is never replaced";
    EXPECT_EQ(ReadText(At("Inst\\Dovetra Libraries\\mine")), "m");
    EXPECT_EQ(CurrentDir(), root);
    EXPECT_TRUE(g_boxes.empty());
    // A program that keeps its old name (the new one is taken) is the problem.
    WriteText(At("Inst\\Kestrin.exe"), "patched");
    EXPECT_EQ(ProblemLines(RenameProductItems(At("Vantor"), At("Inst"), 0)),
              Names{ProblemLine(At("Inst\\Kestrin.exe"), At("Inst\\Dovetra.exe"),
                                "The program could not be given its new name.", ERROR_ALREADY_EXISTS)});
    EXPECT_EQ(ReadText(At("Inst\\Kestrin.exe")) + ReadText(At("Inst\\Dovetra.exe")), "patchedexe");
}

// The install folder's old-named preference file is deleted only when it is
// the tree copy's copy of a file the shared folder still has. Which files
// the copy brought is taken before the first rename (PreferenceFilesPresent);
// `before` stands for a run cut off after the shared folder's renames, whose
// record still says the shared folder had the file.
TEST_F(Renames, APreferenceFileIsDeletedOnlyWhereAnotherCopyIsKept) {
    // clang-format off
    struct { const char* shared; bool sharedOld, sharedNew, instOld, before; const char* keptOld; const char* keptNew; } rows[] = {
        // shared folder     old    new    inst   before  then: old in inst, new in shared
        {"Vantor", true, false, true, false, "<missing>", "shared"},       // renamed, copy deleted
        {"Vantor", true, true, true, false, "<missing>", "earlier"},       // rename refused, shared old kept
        {"Vantor", false, false, true, false, "inst", "<missing>"},        // no shared file: the only copy
        {"Vantor", false, true, true, false, "inst", "earlier"},           // not copied from the shared folder
        {"Vantor", false, true, true, true, "<missing>", "earlier"},       // copied, then the shared one renamed
        {"Vantor", false, false, true, true, "inst", "<missing>"},         // copied, but the shared one is gone
        {"Inst", true, false, false, false, "<missing>", "shared"},        // one folder: renamed in place
        {"Inst", true, true, false, false, "shared", "earlier"},           // one folder, refused: kept
        {"inst\\..\\INST", true, true, false, false, "shared", "earlier"}, // the same under another spelling
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("Vantor"));
        RemoveAll(At("Inst"));
        MakeTree(root, {"Vantor\\", "Inst\\"});
        std::string shared = At(r.shared);
        if (r.sharedOld) WriteText(shared + "\\" + kOld, "shared");
        if (r.sharedNew) WriteText(shared + "\\" + kNew, "earlier");
        if (r.instOld) WriteText(At("Inst\\") + kOld, "inst");
        unsigned copies = PreferenceFilesPresent(shared);
        EXPECT_EQ(copies != 0, r.sharedOld);
        EXPECT_EQ(RenameProductItems(shared, At("Inst"), r.before ? ~0u : copies).problems.size(), 1u)
            << "no program here: the one problem";
        std::string where = std::string(r.shared) + (r.sharedOld ? " old" : "") + (r.sharedNew ? " new" : "") +
                            (r.before ? " before" : "");
        EXPECT_EQ(ReadText(At("Inst\\") + kOld), r.keptOld) << where;
        EXPECT_EQ(ReadText(shared + "\\" + kNew), r.keptNew) << where;
        if (r.sharedOld && r.sharedNew) {
            EXPECT_EQ(ReadText(shared + "\\" + kOld), "shared") << where;
        }
    }
}

// Every item the system will not rename is a problem with its code, and the
// preflight's check finds the same item first; a preference file that keeps
// its old name keeps its install-folder copy too. Held: a file open without
// delete sharing, a folder that is the current directory.
TEST_F(Renames, EachRefusedRenameIsAProblemTheCheckFindsFirst) {
    const std::string prefs = "Kestrin 5 Preferences.prf";
    const char* program = "The program could not be given its new name.";
    // clang-format off
    struct { std::string held, to, why; bool isFolder; } rows[] = {
        {"Vantor\\" + prefs, "Vantor\\Dovetra 5 Preferences.prf", "", false},
        {"Inst\\Kestrin Libraries", "Inst\\Dovetra Libraries", "", true},
        {"Inst\\Kestrin.exe", "Inst\\Dovetra.exe", program, false},
        {"", "", "", false},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("Vantor"));
        RemoveAll(At("Inst"));
        MakeTree(root, {"Vantor\\", "Vantor\\" + prefs + "=mine", "Inst\\", "Inst\\" + prefs + "=copy",
                        "Inst\\Kestrin.exe=exe", "Inst\\Kestrin Libraries\\"});
        platform::Handle h;
        if (r.isFolder) {
            ASSERT_TRUE(platform::SetCurrentFolder(At(r.held).c_str()));
        } else if (!r.held.empty()) {
            ASSERT_TRUE(platform::OpenRead(At(r.held).c_str(), h));
        }
        Names none, expected;
        if (!r.held.empty()) expected = {ProblemLine(At(r.held), At(r.to), r.why, ERROR_SHARING_VIOLATION)};
        Names checked = r.held.empty() ? none : Names{ProblemLine(At(r.held), At(r.to), "", ERROR_SHARING_VIOLATION)};
        EXPECT_EQ(ProblemLines(CheckRenames(At("Vantor"), At("Inst"))), checked) << r.held;
        EXPECT_EQ(ProblemLines(RenameProductItems(At("Vantor"), At("Inst"), ~0u)), expected) << r.held;
        h.Reset();
        ASSERT_TRUE(platform::SetCurrentFolder(root.c_str()));
        bool prefKept = r.held.find(".prf") != std::string::npos;
        EXPECT_EQ(ReadText(At("Inst\\") + prefs), prefKept ? "copy" : "<missing>") << "a pair whole or done";
        EXPECT_EQ(ReadText(At("Vantor\\") + (prefKept ? prefs : "Dovetra 5 Preferences.prf")), "mine");
        EXPECT_EQ(ProblemLines(RenameProductItems(At("Vantor"), At("Inst"), ~0u)), none) << "released, then done";
        EXPECT_EQ(ReadText(At("Inst\\") + prefs), "<missing>");
        EXPECT_TRUE(IsDir(At("Inst\\Dovetra Libraries")));
    }
}
