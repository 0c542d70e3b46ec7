// The migration of files at the old suite's real default paths, in a prefix
// of this test's own: the tree copy of the update, relocation to
// "C:\Program Files\Halvern\Dovetra 5", the renames and the shortcuts, in the
// order the sequencer runs them.
#include <string>
#include "common/state.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/shell.h"
#include "platform/shelllink.h"
#include "scratch.h"

static const char kOldInstall[] = "C:\\Program Files\\Vantor Corp\\Kestrin 5.0";
static const char kOldShared[] = "C:\\Program Files\\Vantor Corp\\Vantor";
static const char kNewInstall[] = "C:\\Program Files\\Halvern\\Dovetra 5";

// Wine's shell keeps a handle on the folder of a link's target once a link
// has been written, so that folder cannot be removed until the process ends:
// CMake runs each test of this file in a process of its own.
class DefaultPathsFlow : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        comStarted_ = platform::InitializeCom();
        RemoveAll("C:\\Program Files\\Vantor Corp");
        RemoveAll("C:\\Program Files\\Halvern");
        ASSERT_TRUE(CreateFolderPath(kOldInstall));
        MakeTree(kOldInstall, {"Kestrin.exe=exe", "ReadMe.ksd=readme", "Kestrin Styles\\", "Kestrin Styles\\Plain.sty=style"});
        MakeDir(kOldShared);
        MakeTree(kOldShared, {"WMF.F32=wmf", "Kestrin 5 Macros.prf=macros", "Kestrin Labels\\"});
        MakeTree(root, {"Programs\\", "Desktop\\", "Desktop\\Kestrin 5.0.lnk=old"});
        ASSERT_TRUE(platform::SetCurrentFolder(kOldInstall));
    }
    void TearDown() override {
        if (comStarted_) platform::UninitializeCom();
        Scratch::TearDown();
        RemoveAll("C:\\Program Files\\Vantor Corp");
        RemoveAll("C:\\Program Files\\Halvern");
    }
    static std::string Old(const char* n) { return std::string(kOldInstall) + "\\" + n; }
    static std::string New(const char* n) { return std::string(kNewInstall) + "\\" + n; }

    // The sequencer's order after a successful patch run.
    void RunMigration() {
        CopyOrMoveTree(kOwner, kOldShared, kOldInstall, true);
        if (IsAtDefaultPaths(kOldInstall, kOldShared)) RelocateInstallation(kOwner, kOldInstall, finalFolder);
        RenameProductItems(kOldShared, finalFolder);
        MigrateShortcuts(kOwner, finalFolder, At("Programs").c_str(), At("Desktop").c_str());
    }
    static std::string LinkTarget(const std::string& path) {
        platform::ShellLink link;
        char target[MAX_PATH];
        if (!link.Create() || !link.Load(path.c_str()) || !link.GetPath(target, sizeof target)) return "<none>";
        return target;
    }

    char finalFolder[kPathCap] = "C:\\Program Files\\Vantor Corp\\Kestrin 5.0";
    bool comStarted_ = false;
};

TEST_F(DefaultPathsFlow, AnInstallationAtTheOldDefaultsMovesWhole) {
    RunMigration();
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_STREQ(finalFolder, kNewInstall);
    EXPECT_FALSE(Exists(kOldInstall)) << "the old folder, current at the start, is gone";
    EXPECT_EQ(ReadText(New("Dovetra.exe")), "exe");
    EXPECT_EQ(ReadText(New("Dovetra Styles\\Plain.sty")), "style");
    EXPECT_EQ(ReadText(New("WMF.F32")), "wmf");
    EXPECT_TRUE(IsDir(New("Dovetra Labels")));
    EXPECT_FALSE(Exists(New("Kestrin 5 Macros.prf")));
    EXPECT_EQ(ReadText(std::string(kOldShared) + "\\Dovetra 5 Macros.prf"), "macros");
    EXPECT_EQ(CurrentDir(), kNewInstall);
    EXPECT_EQ(LinkTarget(At("Programs\\Dovetra 5\\Dovetra 5.lnk")), New("Dovetra.exe"));
    EXPECT_EQ(LinkTarget(At("Desktop\\Dovetra 5.lnk")), New("Dovetra.exe"));
    EXPECT_FALSE(Exists(At("Desktop\\Kestrin 5.0.lnk")));
}

// A file of the same name in the new folder: nothing moves, one box, and
// the rest of the migration works in the old folder.
TEST_F(DefaultPathsFlow, AConflictKeepsTheInstallationInTheOldFolder) {
    ASSERT_TRUE(CreateFolderPath(kNewInstall));
    WriteText(New("ReadMe.ksd"), "someone else's");
    RunMigration();
    ASSERT_EQ(BoxTexts().size(), 1u);
    EXPECT_EQ(g_boxes[0].text.find("Unable to move or rename \"" + Old("ReadMe.ksd") + "\" to \"" + New("ReadMe.ksd") + "\"."), 0u);
    EXPECT_STREQ(finalFolder, kOldInstall);
    EXPECT_EQ(ReadText(Old("Dovetra.exe")), "exe");
    EXPECT_EQ(ListNames(kNewInstall), Names{"ReadMe.ksd"});
    EXPECT_EQ(CurrentDir(), kOldInstall);
    EXPECT_EQ(LinkTarget(At("Programs\\Dovetra 5\\Dovetra 5.lnk")), Old("Dovetra.exe"));
}
