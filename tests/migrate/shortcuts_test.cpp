// CreateShortcut and MigrateShortcuts through the shell's real link object,
// read back through the shell's link object.
#include <string>
#include <vector>
#include "migrate/shortcuts.h"
#include "platform/error.h"
#include "platform/shell.h"
#include "platform/shelllink.h"
#include "scratch.h"

using namespace migrate;

static std::string LinkTarget(const std::string& path) {
    platform::ShellLink link;
    char target[MAX_PATH];
    if (!link.Create() || !link.Load(path.c_str()) || !link.GetPath(target, sizeof target)) return "<none>";
    return target;
}

class Shortcuts : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        comStarted_ = platform::InitializeCom();
        MakeTree(root, {"Programs\\", "Desktop\\", "Inst\\"});
    }
    void TearDown() override {
        if (comStarted_) platform::UninitializeCom();
        Scratch::TearDown();
    }
    bool Migrate(const std::string& programs) {
        return MigrateShortcuts(kOwner, At("Inst").c_str(), programs.c_str(), At("Desktop").c_str());
    }
    std::string Menu(const std::string& name) const { return At("Programs\\Dovetra 5\\" + name); }
    bool comStarted_ = false;
};

// Shortcuts for the targets there are, the old menu gone, and the old
// desktop shortcut replaced only by a copy of the new main one.
TEST_F(Shortcuts, TargetsGetShortcutsAndTheDesktopShortcutIsReplacedOnlyByACopy) {
    // clang-format off
    struct { Names tree; Names desktop; bool ok; } rows[] = {
        {{"Inst\\Dovetra.exe=e", "Inst\\Kestrin 4 to 3 Converter.exe=c", "Inst\\ReadMe.ksd=r", "Programs\\Kestrin 5.0\\",
          "Programs\\Kestrin 5.0\\Extras\\", "Programs\\Kestrin 5.0\\Extras\\x.lnk=o"}, {}, true},
        {{"Inst\\Dovetra.exe=e", "Desktop\\Kestrin 5.0.lnk=old"}, {"Dovetra 5.lnk"}, true},
        {{"Inst\\ReadMe.ksd=r", "Desktop\\Kestrin 5.0.lnk=old"}, {"Kestrin 5.0.lnk"}, true},
        {{"Inst\\Dovetra.exe=e", "Desktop\\Kestrin 5.0.lnk=old", "Desktop\\Dovetra 5.lnk\\"},
         {"Dovetra 5.lnk", "Kestrin 5.0.lnk"}, false},  // a folder holds the new name: the copy fails
        // A file holds the new menu's name: nothing is saved, the old menu stays.
        {{"Inst\\Dovetra.exe=e", "Programs\\Dovetra 5=f", "Programs\\Kestrin 5.0\\", "Programs\\Kestrin 5.0\\x.lnk=o"},
         {}, false},
    };
    // clang-format on
    for (auto& r : rows) {
        for (const char* old : {"Desktop", "Inst", "Programs"}) RemoveAll(At(old));
        MakeTree(root, {"Desktop\\", "Inst\\", "Programs\\"});
        MakeTree(root, r.tree);
        EXPECT_EQ(Migrate(At("Programs")), r.ok) << r.tree.back();
        EXPECT_EQ(ListNames(At("Desktop")), r.desktop);
        if (&r == &rows[4]) {
            EXPECT_EQ(ReadText(At("Programs\\Kestrin 5.0\\x.lnk")), "o");
            EXPECT_FALSE(g_boxes.empty());
            g_boxes.clear();
        }
        if (Exists(At("Desktop\\Kestrin 5.0.lnk"))) {
            EXPECT_EQ(ReadText(At("Desktop\\Kestrin 5.0.lnk")), "old");
        } else if (!r.desktop.empty()) {
            EXPECT_EQ(ReadText(At("Desktop\\Dovetra 5.lnk")), ReadText(Menu("Dovetra 5.lnk")));
        }
        if (&r != &rows[0]) continue;
        EXPECT_EQ(LinkTarget(Menu("Dovetra 5.lnk")), At("Inst\\Dovetra.exe"));
        EXPECT_EQ(LinkTarget(Menu("ReadMe.lnk")), At("Inst\\ReadMe.ksd"));
        EXPECT_EQ(ListNames(At("Programs\\Dovetra 5")).size(), 3u) << "no shortcut for the missing .ksd";
        EXPECT_EQ(ListNames(At("Programs")), Names{"Dovetra 5"});
    }
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}

// A link that fails the steps it is told to, with E_FAIL, and records what
// it was given. The shell's own object under Wine never refuses a target.
struct FailingLink : LinkWriter {
    bool Create() override { return Step("Create"); }
    bool SetPath(const char*) override { return Step("SetPath"); }
    bool SetDescription(const char*) override { return Step("SetDescription"); }
    bool Save(const char* p) override {
        saved = p;
        return Step("Save");
    }
    bool Step(const char* name) {
        if (failing.find(name) == std::string::npos) return true;
        platform::SetLastErrorCode(static_cast<DWORD>(E_FAIL));
        return false;
    }
    std::string failing, saved;
};

TEST_F(Shortcuts, EachFailingStepIsToldAndTheLinkStillSaved) {
    // clang-format off
    struct { const char* failing; Names boxes; HRESULT result; bool saved; } rows[] = {
        {"", {}, S_OK, true},
        {"SetPath SetDescription", {"SetPath failed!", "SetDescription failed!"}, S_OK, true},
        {"SetPath SetDescription Save", {"SetPath failed!", "SetDescription failed!", "Save failed!"}, E_FAIL, true},
        {"Create", {}, E_FAIL, false},
    };
    // clang-format on
    for (auto& r : rows) {
        g_boxes.clear();
        FailingLink link;
        link.failing = r.failing;
        EXPECT_EQ(CreateShortcutWith(link, "C:\\t.exe", "C:\\l.lnk", "desc", kOwner), r.result) << r.failing;
        EXPECT_EQ(BoxTexts(), r.boxes) << r.failing;
        EXPECT_EQ(link.saved, r.saved ? "C:\\l.lnk" : "") << r.failing;
    }
    // The shell's own object: a save into a missing folder or beyond MAX_PATH fails.
    for (std::string link : {At("no such folder\\x.lnk"), root + "\\" + std::string(300, 'k') + ".lnk"}) {
        g_boxes.clear();
        EXPECT_LT(CreateShortcut(At("Inst\\Dovetra.exe").c_str(), link.c_str(), "d", kOwner), 0);
        EXPECT_EQ(BoxTexts(), Names{"Save failed!"});
        EXPECT_EQ(g_boxes[0].title, "migrate_files_test");
        EXPECT_EQ(g_boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
        EXPECT_FALSE(Exists(link));
    }
}
