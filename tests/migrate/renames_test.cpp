// RenameProductItems, row by row, in a scratch shared folder and final
// install folder.
#include <cstring>
#include <string>
#include <vector>
#include "common/state.h"
#include "migrate/renames.h"
#include "scratch.h"

static const char* const kPrefNames[] = {
    "Assistants Cache", "ButtonBars", "Stationery", "Macros",
    "Preferences", "Assistant Prefs", "Assistant", "Palettes",
};
static const char* const kDataFolders[] = {"Labels", "Assistants", "Libraries", "Stationery", "Styles", "Translators"};

static std::string Pref(const char* product, const char* name) {
    return std::string(product) + " 5 " + name + ".prf";
}

class Renames : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        ResetUpdaterState();
        MakeDir(Shared());
        MakeDir(Final());
        std::strcpy(g_state.sharedFolder, Shared().c_str());
        std::strcpy(g_state.finalInstallFolder, Final().c_str());
        std::strcpy(g_state.installFolder, At("Old").c_str());
    }
    std::string Shared() const { return At("Vantor"); }
    std::string Final() const { return At("Dovetra 5"); }
    std::string InShared(const std::string& n) const { return Shared() + "\\" + n; }
    std::string InFinal(const std::string& n) const { return Final() + "\\" + n; }
    // What the tree copy of the update leaves: the preference files and
    // "Kestrin Labels" in both folders, the executable and data folders in
    // the install folder.
    void MakeInstallation(bool prefsInShared) {
        for (const char* p : kPrefNames) {
            if (prefsInShared) WriteText(InShared(Pref("Kestrin", p)), p);
            WriteText(InFinal(Pref("Kestrin", p)), p);
        }
        MakeDir(InShared("Kestrin Labels"));
        for (const char* d : kDataFolders) MakeDir(InFinal(std::string("Kestrin ") + d));
        WriteText(InFinal("Kestrin.exe"), "exe");
    }
};

TEST_F(Renames, EveryRowTakesEffectInItsFolder) {
    MakeInstallation(true);
    RenameProductItems();
    for (const char* p : kPrefNames) {
        EXPECT_EQ(ReadText(InShared(Pref("Dovetra", p))), p) << p;
        EXPECT_FALSE(Exists(InShared(Pref("Kestrin", p)))) << p;
        EXPECT_FALSE(Exists(InFinal(Pref("Kestrin", p)))) << "copy deleted: " << p;
        EXPECT_FALSE(Exists(InFinal(Pref("Dovetra", p)))) << p;
    }
    EXPECT_TRUE(IsDir(InShared("Dovetra Labels")));
    EXPECT_FALSE(Exists(InShared("Kestrin Labels")));
    for (const char* d : kDataFolders) {
        EXPECT_TRUE(IsDir(InFinal(std::string("Dovetra ") + d))) << d;
        EXPECT_FALSE(Exists(InFinal(std::string("Kestrin ") + d))) << d;
    }
    EXPECT_EQ(ReadText(InFinal("Dovetra.exe")), "exe");
    EXPECT_FALSE(Exists(InFinal("Kestrin.exe")));
    EXPECT_EQ(CurrentDir(), Final());
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Renames, WithoutPreferenceFilesTheInstallFolderIsStillRenamed) {
    MakeInstallation(false);
    RenameProductItems();
    EXPECT_EQ(ReadText(InFinal("Dovetra.exe")), "exe");
    EXPECT_TRUE(IsDir(InFinal("Dovetra Styles")));
    EXPECT_FALSE(Exists(InFinal(Pref("Kestrin", "Macros"))));
    EXPECT_EQ(ListNames(Shared()), std::vector<std::string>{"Dovetra Labels"});
    EXPECT_EQ(CurrentDir(), Final());
}

TEST_F(Renames, ExistingNewNamesAreNeverReplaced) {
    MakeInstallation(true);
    WriteText(InShared("Dovetra 5 Palettes.prf"), "already there");
    WriteText(InFinal("Dovetra.exe"), "new exe");
    MakeDir(InFinal("Dovetra Styles"));
    RenameProductItems();
    EXPECT_EQ(ReadText(InShared("Dovetra 5 Palettes.prf")), "already there");
    EXPECT_EQ(ReadText(InShared("Kestrin 5 Palettes.prf")), "Palettes") << "keeps its name";
    EXPECT_FALSE(Exists(InFinal("Kestrin 5 Palettes.prf"))) << "deleted in any case";
    EXPECT_EQ(ReadText(InFinal("Dovetra.exe")), "new exe");
    EXPECT_EQ(ReadText(InFinal("Kestrin.exe")), "exe");
    EXPECT_TRUE(IsDir(InFinal("Kestrin Styles")));
    EXPECT_EQ(ReadText(InShared("Dovetra 5 Macros.prf")), "Macros") << "the other rows go on";
}

// When the shared and the final install folder are one folder, the renames
// there come first, so the deletions find nothing left to delete.
TEST_F(Renames, SharedFolderThatIsTheInstallFolder) {
    std::strcpy(g_state.sharedFolder, Final().c_str());
    for (const char* p : kPrefNames) WriteText(InFinal(Pref("Kestrin", p)), p);
    WriteText(InFinal("Kestrin.exe"), "exe");
    RenameProductItems();
    for (const char* p : kPrefNames) EXPECT_EQ(ReadText(InFinal(Pref("Dovetra", p))), p) << p;
    EXPECT_EQ(ReadText(InFinal("Dovetra.exe")), "exe");
}
