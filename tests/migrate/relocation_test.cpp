// IsAtDefaultPaths, and relocation into a scratch "new default folder".
#include <cstring>
#include <string>
#include <vector>
#include "common/state.h"
#include "migrate/relocation.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "scratch.h"

// Makes the folders above `path`.
static void MakeParents(const std::string& path) {
    CreateFolderPath(path.substr(0, path.rfind('\\')).c_str());
}

static void SetField(char* field, const std::string& value) {
    ASSERT_LT(value.size(), kPathCap);
    std::strcpy(field, value.c_str());
}

TEST(DefaultPaths, OnlyLetterCaseIsForgiven) {
    const std::string install = "C:\\Program Files\\Vantor Corp\\Kestrin 5.0";
    const std::string shared = "C:\\Program Files\\Vantor Corp\\Vantor";
    struct { std::string install, shared; bool expected; } rows[] = {
        {install, shared, true},
        {"c:\\PROGRAM FILES\\vantor corp\\KESTRIN 5.0", "C:\\program files\\VANTOR CORP\\vantor", true},
        {install + "\\", shared, false},
        {install, shared + "\\", false},
        {"C:\\PROGRA~1\\VANTOR~1\\KESTRI~1.0", shared, false},
        {"C:/Program Files/Vantor Corp/Kestrin 5.0", shared, false},
        {install, "D:\\Vantor", false},
        {"D:\\Kestrin 5.0", shared, false},
        {"", "", false},
    };
    for (auto& r : rows) {
        ResetUpdaterState();
        SetField(g_state.installFolder, r.install);
        SetField(g_state.sharedFolder, r.shared);
        EXPECT_EQ(IsAtDefaultPaths(), r.expected) << r.install << " | " << r.shared;
    }
}

class Relocation : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        ResetUpdaterState();
        MakeDir(At("Old"));
        MakeDir(At("Old\\Kestrin Styles"));
        MakeDir(At("Old\\Kestrin Styles\\Deep"));
        WriteText(At("Old\\Kestrin.exe"), "exe");
        WriteText(At("Old\\Kestrin Styles\\Deep\\s.sty"), "style");
        SetField(g_state.installFolder, At("Old"));
        SetField(g_state.finalInstallFolder, At("Old"));
        // The sequencer relocates with the install folder current.
        ASSERT_TRUE(platform::SetCurrentFolder(At("Old").c_str()));
    }
    std::string NewFolder() const { return At("Halvern\\Dovetra 5"); }
};

TEST_F(Relocation, MovesEverythingAndRemovesTheOldFolder) {
    EXPECT_TRUE(RelocateInstallationTo(NewFolder().c_str()));
    EXPECT_EQ(ReadText(NewFolder() + "\\Kestrin.exe"), "exe");
    EXPECT_EQ(ReadText(NewFolder() + "\\Kestrin Styles\\Deep\\s.sty"), "style");
    EXPECT_FALSE(Exists(At("Old"))) << "the current directory was moved out of the way";
    EXPECT_STREQ(g_state.finalInstallFolder, NewFolder().c_str());
    EXPECT_STREQ(g_state.installFolder, At("Old").c_str());
    EXPECT_EQ(CurrentDir(), NewFolder());
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Relocation, IntoAnExistingFolderThatHoldsOtherThings) {
    MakeDir(At("Halvern"));
    MakeDir(NewFolder());
    MakeDir(NewFolder() + "\\Kestrin Styles");
    WriteText(NewFolder() + "\\other.txt", "other");
    EXPECT_TRUE(RelocateInstallationTo(NewFolder().c_str()));
    EXPECT_EQ(ReadText(NewFolder() + "\\Kestrin Styles\\Deep\\s.sty"), "style");
    EXPECT_EQ(ReadText(NewFolder() + "\\other.txt"), "other");
    EXPECT_FALSE(Exists(At("Old")));
    EXPECT_TRUE(g_boxes.empty());
}

// The installation stays whole where it is and one box says why.
TEST_F(Relocation, ConflictsLeaveTheInstallationWhereItIs) {
    struct { std::string blocker; bool asFolder; std::string from, to, reason; } rows[] = {
        {"Kestrin Styles\\Deep\\s.sty", false, "Kestrin Styles\\Deep\\s.sty", "Kestrin Styles\\Deep\\s.sty",
         "A file or folder of that name is there already."},
        {"Kestrin.exe", true, "Kestrin.exe", "Kestrin.exe", "A file or folder of that name is there already."},
        {"Kestrin Styles\\Deep", false, "Kestrin Styles\\Deep", "Kestrin Styles\\Deep",
         "A file or folder of that name is there already."},
    };
    for (auto& r : rows) {
        RemoveAll(At("Halvern"));
        g_boxes.clear();
        MakeParents(NewFolder() + "\\" + r.blocker);
        if (r.asFolder) MakeDir(NewFolder() + "\\" + r.blocker);
        else WriteText(NewFolder() + "\\" + r.blocker, "in the way");
        EXPECT_FALSE(RelocateInstallationTo(NewFolder().c_str())) << r.blocker;
        EXPECT_STREQ(g_state.finalInstallFolder, At("Old").c_str());
        EXPECT_EQ(ReadText(At("Old\\Kestrin.exe")), "exe");
        EXPECT_EQ(ReadText(At("Old\\Kestrin Styles\\Deep\\s.sty")), "style");
        EXPECT_EQ(CurrentDir(), At("Old"));
        ASSERT_EQ(g_boxes.size(), 1u) << r.blocker;
        std::string expected = "Unable to move or rename \"" + At("Old\\" + r.from) + "\" to \"" + NewFolder() +
                               "\\" + r.to + "\".\n\n" + r.reason +
                               "\nNothing has been moved: the installation stays in \"" + At("Old") + "\".";
        EXPECT_EQ(g_boxes[0].text, expected);
        EXPECT_EQ(g_boxes[0].title, "Update Error");
        EXPECT_EQ(g_boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    }
}

TEST_F(Relocation, PathsThatWouldNotFitAreRefusedBeforeAnythingMoves) {
    // The new folder is deeper than the old one by enough that the deep file
    // would not fit 255 characters there.
    std::string deep = At("Halvern\\" + std::string(255 - At("Halvern\\").size() - 20, 'x'));
    std::string target = deep + "\\Kestrin Styles\\Deep\\s.sty";
    ASSERT_GT(target.size(), 255u);
    EXPECT_FALSE(RelocateInstallationTo(deep.c_str()));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_NE(g_boxes[0].text.find("longer than 255 characters"), std::string::npos);
    EXPECT_FALSE(Exists(deep));
    EXPECT_EQ(ReadText(At("Old\\Kestrin.exe")), "exe");
    EXPECT_STREQ(g_state.finalInstallFolder, At("Old").c_str());
    // A new folder that is too long itself.
    g_boxes.clear();
    EXPECT_FALSE(RelocateInstallationTo((root + "\\" + std::string(260, 'y')).c_str()));
    EXPECT_EQ(g_boxes.size(), 1u);
}

TEST_F(Relocation, ANewFolderInsideTheInstallationIsRefused) {
    EXPECT_FALSE(RelocateInstallationTo(At("Old\\Dovetra 5").c_str()));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_NE(g_boxes[0].text.find("inside the installation"), std::string::npos);
    EXPECT_FALSE(Exists(At("Old\\Dovetra 5")));
    EXPECT_STREQ(g_state.finalInstallFolder, At("Old").c_str());
}

TEST_F(Relocation, ANewFolderThatCannotBeMadeIsRefused) {
    WriteText(At("Halvern"), "a file where a folder should be");
    EXPECT_FALSE(RelocateInstallationTo(NewFolder().c_str()));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Unable to move or rename \"" + At("Old") + "\" to \"" + NewFolder() +
                                   "\".\n\nThe new folder cannot be made.\nNothing has been moved: the "
                                   "installation stays in \"" + At("Old") + "\".");
    EXPECT_EQ(ReadText(At("Old\\Kestrin.exe")), "exe");
    EXPECT_STREQ(g_state.finalInstallFolder, At("Old").c_str());
    EXPECT_EQ(CurrentDir(), At("Old"));
}

// Another program holds a file open without letting it be deleted: the
// move would leave that file behind, so nothing moves.
TEST_F(Relocation, AFileInUseKeepsTheInstallationWhereItIs) {
    platform::Handle held;
    ASSERT_TRUE(platform::OpenRead(At("Old\\Kestrin Styles\\Deep\\s.sty").c_str(), held));
    EXPECT_FALSE(RelocateInstallationTo(NewFolder().c_str()));
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text.find("Unable to move or rename \"" + At("Old\\Kestrin Styles\\Deep\\s.sty") + "\""), 0u);
    EXPECT_NE(g_boxes[0].text.find("in use by another program"), std::string::npos);
    EXPECT_EQ(ReadText(At("Old\\Kestrin.exe")), "exe");
    EXPECT_FALSE(Exists(NewFolder()));
    EXPECT_STREQ(g_state.finalInstallFolder, At("Old").c_str());
    // Once it is closed the relocation goes through.
    held.Reset();
    g_boxes.clear();
    EXPECT_TRUE(RelocateInstallationTo(NewFolder().c_str()));
    EXPECT_EQ(ReadText(NewFolder() + "\\Kestrin Styles\\Deep\\s.sty"), "style");
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Relocation, DotNamesStayBehindWithTheirFolder) {
    WriteText(At("Old\\.lock"), "l");
    EXPECT_TRUE(RelocateInstallationTo(NewFolder().c_str()));
    EXPECT_EQ(ReadText(NewFolder() + "\\Kestrin.exe"), "exe");
    EXPECT_TRUE(Exists(At("Old\\.lock")));
    EXPECT_STREQ(g_state.finalInstallFolder, NewFolder().c_str());
    EXPECT_TRUE(g_boxes.empty()) << "the caller's own folder is never reported";
}
