// The migration of files at the old suite's real default paths, in a prefix
// of this test's own: the tree copy of the update, relocation to
// "C:\Program Files\Halvern\Dovetra 5", the renames and the shortcuts, in the
// order the sequencer runs them.
#include <cstring>
#include <string>
#include <vector>
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
        ASSERT_EQ(CreateFolderPath(kOldInstall), 0);
        MakeDir(kOldShared);
        WriteText(Old("Kestrin.exe"), "exe");
        WriteText(Old("ReadMe.ksd"), "readme");
        MakeDir(Old("Kestrin Styles"));
        WriteText(Old("Kestrin Styles\\Plain.sty"), "style");
        WriteText(Shared("WMF.F32"), "wmf");
        WriteText(Shared("Kestrin 5 Macros.prf"), "macros");
        MakeDir(Shared("Kestrin Labels"));
        MakeDir(At("Programs"));
        MakeDir(At("Desktop"));
        WriteText(At("Desktop\\Kestrin 5.0.lnk"), "old");
        ResetUpdaterState();
        std::strcpy(g_state.installFolder, kOldInstall);
        std::strcpy(g_state.finalInstallFolder, kOldInstall);
        std::strcpy(g_state.sharedFolder, kOldShared);
        std::strcpy(g_state.startMenuProgramsFolder, At("Programs").c_str());
        std::strcpy(g_state.desktopFolder, At("Desktop").c_str());
        ASSERT_TRUE(platform::SetCurrentFolder(kOldInstall));
    }
    void TearDown() override {
        if (comStarted_) platform::UninitializeCom();
        Scratch::TearDown();
        RemoveAll("C:\\Program Files\\Vantor Corp");
        RemoveAll("C:\\Program Files\\Halvern");
    }
    static std::string Old(const char* n) { return std::string(kOldInstall) + "\\" + n; }
    static std::string Shared(const char* n) { return std::string(kOldShared) + "\\" + n; }
    static std::string New(const char* n) { return std::string(kNewInstall) + "\\" + n; }

    // The sequencer's order after a successful patch run.
    void RunMigration() {
        CopyOrMoveTree(g_state.sharedFolder, g_state.installFolder, true);
        if (IsAtDefaultPaths()) RelocateInstallation();
        RenameProductItems();
        MigrateShortcuts(g_state.finalInstallFolder, nullptr);
    }
    static std::string LinkTarget(const std::string& path) {
        platform::ShellLink link;
        char target[MAX_PATH];
        if (!link.Create() || !link.Load(path.c_str()) || !link.GetPath(target, sizeof target)) return "<none>";
        return target;
    }

    bool comStarted_ = false;
};

TEST_F(DefaultPathsFlow, AnInstallationAtTheOldDefaultsMovesWhole) {
    RunMigration();
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_STREQ(g_state.finalInstallFolder, kNewInstall);
    EXPECT_FALSE(Exists(kOldInstall)) << "the old folder, current at the start, is gone";
    EXPECT_EQ(ReadText(New("Dovetra.exe")), "exe");
    EXPECT_EQ(ReadText(New("Dovetra Styles\\Plain.sty")), "style");
    EXPECT_EQ(ReadText(New("WMF.F32")), "wmf");
    EXPECT_TRUE(IsDir(New("Dovetra Labels")));
    EXPECT_FALSE(Exists(New("Kestrin 5 Macros.prf")));
    EXPECT_EQ(ReadText(Shared("Dovetra 5 Macros.prf")), "macros");
    EXPECT_EQ(CurrentDir(), kNewInstall);
    EXPECT_EQ(LinkTarget(At("Programs\\Dovetra 5\\Dovetra 5.lnk")), New("Dovetra.exe"));
    EXPECT_EQ(LinkTarget(At("Programs\\Dovetra 5\\ReadMe.lnk")), New("ReadMe.ksd"));
    EXPECT_EQ(LinkTarget(At("Desktop\\Dovetra 5.lnk")), New("Dovetra.exe"));
    EXPECT_FALSE(Exists(At("Desktop\\Kestrin 5.0.lnk")));
}

// A file of the same name in the new folder: nothing moves, one box, and
// the rest of the migration works in the old folder.
TEST_F(DefaultPathsFlow, AConflictKeepsTheInstallationInTheOldFolder) {
    ASSERT_EQ(CreateFolderPath(kNewInstall), 0);
    WriteText(New("ReadMe.ksd"), "someone else's");
    RunMigration();
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text.find("Unable to move or rename \"" + Old("ReadMe.ksd") + "\" to \"" +
                                   New("ReadMe.ksd") + "\"."),
              0u);
    EXPECT_STREQ(g_state.finalInstallFolder, kOldInstall);
    EXPECT_EQ(ReadText(Old("Dovetra.exe")), "exe");
    EXPECT_EQ(ReadText(New("ReadMe.ksd")), "someone else's");
    EXPECT_EQ(ListNames(kNewInstall).size(), 1u);
    EXPECT_EQ(CurrentDir(), kOldInstall);
    EXPECT_EQ(LinkTarget(At("Programs\\Dovetra 5\\Dovetra 5.lnk")), Old("Dovetra.exe"));
}
