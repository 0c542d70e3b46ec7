// CreateShortcut and MigrateShortcuts through the shell's real link object,
// read back through IShellLinkA.
#include <cstring>
#include <string>
#include <vector>
#include "common/state.h"
#include "migrate/shortcuts.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/shelllink.h"
#include "platform/shell.h"
#include "scratch.h"

struct LinkFields {
    std::string target, description;
};

static LinkFields ReadLink(const std::string& path) {
    platform::ShellLink link;
    char target[MAX_PATH], description[MAX_PATH];
    if (!link.Create() || !link.Load(path.c_str())) return {"<unreadable>", ""};
    link.GetPath(target, sizeof target);
    link.GetDescription(description, sizeof description);
    return {target, description};
}

static const HWND kOwner = reinterpret_cast<HWND>(0x4321);

class Shortcuts : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        comStarted_ = platform::InitializeCom();
        ResetUpdaterState();
        MakeDir(Programs());
        MakeDir(Desktop());
        MakeDir(Install());
        std::strcpy(g_state.startMenuProgramsFolder, Programs().c_str());
        std::strcpy(g_state.desktopFolder, Desktop().c_str());
        std::strcpy(g_state.finalInstallFolder, Install().c_str());
    }
    void TearDown() override {
        if (comStarted_) platform::UninitializeCom();
        Scratch::TearDown();
    }
    std::string Programs() const { return At("Programs"); }
    std::string Desktop() const { return At("Desktop"); }
    std::string Install() const { return At("Dovetra 5"); }
    std::string Menu() const { return Programs() + "\\Dovetra 5"; }
    void MakeTargets(std::vector<std::string> names) {
        for (const std::string& n : names) WriteText(Install() + "\\" + n, n);
    }
    void OldDesktopLink() { WriteText(Desktop() + "\\Kestrin 5.0.lnk", "old link"); }

    bool comStarted_ = false;
};

TEST_F(Shortcuts, EveryTargetGetsItsShortcutAndTheOldMenuGoes) {
    MakeTargets({"Dovetra.exe", "Kestrin 4 to 3 Converter.exe", "Kestrin 4 to 3 Converter.ksd", "ReadMe.ksd"});
    MakeDir(Programs() + "\\Kestrin 5.0");
    MakeDir(Programs() + "\\Kestrin 5.0\\Extras");
    WriteText(Programs() + "\\Kestrin 5.0\\Kestrin 5.0.lnk", "old");
    WriteText(Programs() + "\\Kestrin 5.0\\Extras\\ReadMe.lnk", "old");
    MigrateShortcuts(Install().c_str(), kOwner);
    struct { const char* link; const char* target; const char* description; } rows[] = {
        {"Dovetra 5.lnk", "Dovetra.exe", "Dovetra 5."},
        {"Kestrin 4 to 3 Converter.lnk", "Kestrin 4 to 3 Converter.exe", "Kestrin 3.0 File Conversion Tool."},
        {"FileConverter.lnk", "Kestrin 4 to 3 Converter.ksd", "File Converter ReadMe."},
        {"ReadMe.lnk", "ReadMe.ksd", "Dovetra 5 ReadMe."},
    };
    for (auto& r : rows) {
        LinkFields f = ReadLink(Menu() + "\\" + r.link);
        EXPECT_EQ(f.target, Install() + "\\" + r.target) << r.link;
        EXPECT_EQ(f.description, r.description) << r.link;
    }
    EXPECT_EQ(ListNames(Menu()).size(), 4u);
    EXPECT_FALSE(Exists(Programs() + "\\Kestrin 5.0"));
    EXPECT_TRUE(ListNames(Desktop()).empty()) << "no old desktop shortcut, no new one";
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Shortcuts, MissingTargetsMakeNoShortcutButTheFolderAndDeletionHappen) {
    MakeTargets({"ReadMe.ksd"});
    MakeDir(Programs() + "\\Kestrin 5.0");
    MigrateShortcuts(Install().c_str(), kOwner);
    EXPECT_EQ(ListNames(Menu()), std::vector<std::string>{"ReadMe.lnk"});
    EXPECT_FALSE(Exists(Programs() + "\\Kestrin 5.0"));
    RemoveAll(Menu());
    std::remove_reference_t<decltype(g_boxes)>().swap(g_boxes);
    MigrateShortcuts(At("nowhere").c_str(), kOwner);
    EXPECT_TRUE(IsDir(Menu())) << "made even when empty";
    EXPECT_TRUE(ListNames(Menu()).empty());
    EXPECT_TRUE(g_boxes.empty()) << "a missing old menu is not reported";
}

TEST_F(Shortcuts, DesktopSwapReplacesTheOldShortcut) {
    MakeTargets({"Dovetra.exe"});
    OldDesktopLink();
    MigrateShortcuts(Install().c_str(), kOwner);
    EXPECT_FALSE(Exists(Desktop() + "\\Kestrin 5.0.lnk"));
    LinkFields f = ReadLink(Desktop() + "\\Dovetra 5.lnk");
    EXPECT_EQ(f.target, Install() + "\\Dovetra.exe");
    EXPECT_EQ(f.description, "Dovetra 5.");
    EXPECT_EQ(ReadText(Desktop() + "\\Dovetra 5.lnk"), ReadText(Menu() + "\\Dovetra 5.lnk"));
}

TEST_F(Shortcuts, WithoutTheNewExecutableTheOldDesktopShortcutStays) {
    MakeTargets({"ReadMe.ksd"});
    OldDesktopLink();
    MigrateShortcuts(Install().c_str(), kOwner);
    EXPECT_EQ(ListNames(Desktop()), std::vector<std::string>{"Kestrin 5.0.lnk"});
    EXPECT_EQ(ReadText(Desktop() + "\\Kestrin 5.0.lnk"), "old link");
}

// The copy to the desktop fails (a folder holds the new name): the user
// keeps the old shortcut rather than none.
TEST_F(Shortcuts, AFailedDesktopCopyKeepsTheOldShortcut) {
    MakeTargets({"Dovetra.exe"});
    OldDesktopLink();
    MakeDir(Desktop() + "\\Dovetra 5.lnk");
    MigrateShortcuts(Install().c_str(), kOwner);
    EXPECT_EQ(ReadText(Desktop() + "\\Kestrin 5.0.lnk"), "old link");
    EXPECT_TRUE(IsDir(Desktop() + "\\Dovetra 5.lnk"));
    EXPECT_EQ(ReadLink(Menu() + "\\Dovetra 5.lnk").target, Install() + "\\Dovetra.exe");
}

TEST_F(Shortcuts, AFailedSaveIsToldOnceOwnedByTheDialog) {
    MakeTargets({"Dovetra.exe"});
    std::string link = At("no such folder\\x.lnk");
    HRESULT hr = CreateShortcut((Install() + "\\Dovetra.exe").c_str(), link.c_str(), "d", kOwner);
    EXPECT_LT(hr, 0);
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, "Save failed!");
    EXPECT_EQ(g_boxes[0].title, "migrate_files_test");
    EXPECT_EQ(g_boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(g_boxes[0].owner, kOwner);
    EXPECT_FALSE(Exists(link));
}

TEST_F(Shortcuts, ALinkPathBeyondMaxPathIsRefusedAsAFailedSave) {
    std::string link = root + "\\" + std::string(300, 'k') + ".lnk";
    HRESULT hr = CreateShortcut((Install() + "\\Dovetra.exe").c_str(), link.c_str(), "d", kOwner);
    EXPECT_LT(hr, 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Save failed!"});
}

TEST_F(Shortcuts, LinkNamesThatWouldNotFitAreLeftOut) {
    // The programs folder is long enough that "...\Dovetra 5\Kestrin 4 to 3
    // Converter.lnk" passes 255 characters while "...\ReadMe.lnk" fits.
    std::string programs = At(std::string(230 - root.size(), 'p'));
    MakeDir(programs);
    std::strcpy(g_state.startMenuProgramsFolder, programs.c_str());
    MakeTargets({"Kestrin 4 to 3 Converter.exe", "ReadMe.ksd"});
    MigrateShortcuts(Install().c_str(), kOwner);
    EXPECT_EQ(ListNames(programs + "\\Dovetra 5"), std::vector<std::string>{"ReadMe.lnk"});
    EXPECT_TRUE(g_boxes.empty());
}

// A link that fails the steps it is told to, with E_FAIL, and records what
// it was given. The shell's own object under Wine never refuses a target.
class FailingLink : public LinkWriter {
public:
    explicit FailingLink(std::string failing) : failing_(std::move(failing)) {}
    bool Create() override { return Step("Create"); }
    bool SetPath(const char* t) override { target = t; return Step("SetPath"); }
    bool SetDescription(const char* d) override { description = d; return Step("SetDescription"); }
    bool Save(const char* p) override { saved = p; return Step("Save"); }
    std::string target, description, saved;

private:
    bool Step(const char* name) {
        if (failing_.find(name) == std::string::npos) return true;
        platform::SetLastErrorCode(static_cast<DWORD>(E_FAIL));
        return false;
    }
    std::string failing_;
};

TEST_F(Shortcuts, EachFailingStepIsToldAndTheLinkStillSaved) {
    struct { const char* failing; std::vector<std::string> boxes; HRESULT result; bool saved; } rows[] = {
        {"", {}, S_OK, true},
        {"SetPath", {"SetPath failed!"}, S_OK, true},
        {"SetDescription", {"SetDescription failed!"}, S_OK, true},
        {"SetPath SetDescription", {"SetPath failed!", "SetDescription failed!"}, S_OK, true},
        {"SetPath SetDescription Save", {"SetPath failed!", "SetDescription failed!", "Save failed!"}, E_FAIL, true},
        {"Create", {}, E_FAIL, false},
    };
    for (auto& r : rows) {
        g_boxes.clear();
        FailingLink link(r.failing);
        EXPECT_EQ(CreateShortcutWith(link, "C:\\t.exe", "C:\\l.lnk", "desc", kOwner), r.result) << r.failing;
        EXPECT_EQ(BoxTexts(), r.boxes) << r.failing;
        EXPECT_EQ(link.saved, r.saved ? "C:\\l.lnk" : "") << r.failing;
        if (r.saved) {
            EXPECT_EQ(link.description, "desc");
        }
        for (const Box& b : g_boxes) EXPECT_EQ(b.owner, kOwner);
    }
}
