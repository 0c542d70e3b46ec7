// CreateShortcut and MigrateShortcuts through the shell's real link object,
// read back through the shell's link object.
#include <string>
#include <vector>
#include "migrate/shortcuts.h"
#include "migrate/tree.h"
#include "platform/error.h"
#include "platform/shell.h"
#include "platform/shelllink.h"
#include "scratch.h"

using namespace migrate;

static std::string LinkTarget(const std::string& path) {
    platform::ShellLink link;
    std::string target;
    if (!link.Create() || !link.Load(path.c_str()) || !link.GetPath(target)) return "<none>";
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
    Outcome Migrate() { return MigrateShortcuts(At("Inst"), At("Programs"), At("Desktop")); }
    std::string Menu(const std::string& name) const { return At("Programs\\Dovetra 5\\" + name); }
    bool comStarted_ = false;
};

// Shortcuts for the targets there are, the old menu gone, and the old
// desktop shortcut replaced only by a copy of the new main one. A second run
// ends the same. A name that is a hard link to a user's file ("linked") is
// replaced by the new link file; the user's file keeps its bytes.
TEST_F(Shortcuts, TargetsGetShortcutsAndTheDesktopShortcutIsReplacedOnlyByACopy) {
    const std::string mainLink = Menu("Dovetra 5.lnk"), exe = At("Inst\\Dovetra.exe");
    // clang-format off
    struct { Names tree; Names desktop; Names problems; std::string linked = ""; } rows[] = {
        {{"Inst\\Dovetra.exe=e", "Inst\\Kestrin 4 to 3 Converter.exe=c", "Inst\\ReadMe.ksd=r", "Programs\\Kestrin 5.0\\",
          "Programs\\Kestrin 5.0\\Extras\\", "Programs\\Kestrin 5.0\\Extras\\x.lnk=o"}, {}, {}},
        {{"Inst\\Dovetra.exe=e", "Desktop\\Kestrin 5.0.lnk=old"}, {"Dovetra 5.lnk"}, {}},
        {{"Inst\\ReadMe.ksd=r", "Desktop\\Kestrin 5.0.lnk=old"}, {"Kestrin 5.0.lnk"}, {}},
        // A folder holds the new name: the copy fails, the old shortcut stays.
        {{"Inst\\Dovetra.exe=e", "Desktop\\Kestrin 5.0.lnk=old", "Desktop\\Dovetra 5.lnk\\"},
         {"Dovetra 5.lnk", "Kestrin 5.0.lnk"}, {ProblemLine(mainLink, At("Desktop\\Dovetra 5.lnk"), "", ERROR_ACCESS_DENIED)}},
        // A file holds the new menu's name: nothing is saved, the old menu stays.
        {{"Inst\\Dovetra.exe=e", "Programs\\Dovetra 5=f", "Programs\\Kestrin 5.0\\", "Programs\\Kestrin 5.0\\x.lnk=o"},
         {}, {ProblemLine(mainLink, exe, "Save failed!", 0x80070003), ProblemLine(At("Programs\\Kestrin 5.0"), At("Programs\\Dovetra 5"),
              "The old Start-menu folder is kept: the new main shortcut was not made.")}},
        {{"Inst\\Dovetra.exe=e", "Desktop\\Kestrin 5.0.lnk=old"}, {"Dovetra 5.lnk"}, {}, "Desktop\\Dovetra 5.lnk"},
        {{"Inst\\Dovetra.exe=e", "Programs\\Dovetra 5\\"}, {}, {}, "Programs\\Dovetra 5\\Dovetra 5.lnk"},
    };
    // clang-format on
    for (auto& r : rows) {
        for (const char* old : {"Desktop", "Inst", "Programs", "User"}) RemoveAll(At(old));
        MakeTree(root, {"Desktop\\", "Inst\\", "Programs\\", "User\\", "User\\mine=dear"});
        MakeTree(root, r.tree);
        if (!r.linked.empty()) MakeFileLink(At(r.linked), At("User\\mine"), false);
        for (int run = 0; run < 2; ++run) {
            EXPECT_EQ(ProblemLines(Migrate()), r.problems) << r.tree.back() << " run " << run;
            EXPECT_EQ(ListNames(At("Desktop")), r.desktop);
            if (Exists(At("Desktop\\Kestrin 5.0.lnk"))) {
                EXPECT_EQ(ReadText(At("Desktop\\Kestrin 5.0.lnk")), "old");
            } else if (!r.desktop.empty() && run == 0) {  // a link file holds its folders' times
                EXPECT_EQ(ReadText(At("Desktop\\Dovetra 5.lnk")), ReadText(mainLink));
            }
        }
        EXPECT_EQ(ReadText(At("User\\mine")), "dear") << r.linked;
        if (Exists(At("Programs\\Kestrin 5.0"))) {
            EXPECT_EQ(ReadText(At("Programs\\Kestrin 5.0\\x.lnk")), "o");
        }
        if (r.problems.empty() && Exists(exe)) {
            EXPECT_EQ(LinkTarget(mainLink), exe) << r.tree.back();
        }
        if (&r != &rows[0]) continue;
        EXPECT_EQ(LinkTarget(Menu("ReadMe.lnk")), At("Inst\\ReadMe.ksd"));
        EXPECT_EQ(ListNames(At("Programs\\Dovetra 5")).size(), 3u) << "no shortcut for the missing .ksd";
        EXPECT_EQ(ListNames(At("Programs")), Names{"Dovetra 5"});
    }
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}

// A link that fails the steps it is told to, with E_FAIL, records the name
// it was saved under and writes a file there.
struct FailingLink : LinkWriter {
    bool Create() override { return Step("Create"); }
    bool SetPath(const char*) override { return Step("SetPath"); }
    bool SetDescription(const char*) override { return Step("SetDescription"); }
    bool Save(const char* p) override {
        saved = p;
        if (!Step("Save")) return false;
        WriteText(p, "link");
        return true;
    }
    bool Step(const char* name) {
        if (failing.find(name) == std::string::npos) return true;
        platform::SetLastErrorCode(static_cast<DWORD>(E_FAIL));
        return false;
    }
    std::string failing, saved;
};

// Every failing step is a problem and the work goes on; the link file is
// saved under its work name and put in place, and no work file stays.
TEST_F(Shortcuts, EachFailingStepIsToldAndTheLinkStillSaved) {
    const std::string link = At("l.lnk"), target = "C:\\t.exe";
    auto failed = [&](const char* why) { return ProblemLine(link, target, why, static_cast<DWORD>(E_FAIL)); };
    // clang-format off
    struct { const char* failing; Names problems; HRESULT result; bool saved; } rows[] = {
        {"", {}, S_OK, true},
        {"SetPath SetDescription", {failed("SetPath failed!"), failed("SetDescription failed!")}, S_OK, true},
        {"SetPath SetDescription Save", {failed("SetPath failed!"), failed("SetDescription failed!"), failed("Save failed!")},
         E_FAIL, false},
        {"Create", {}, E_FAIL, false},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(link);
        FailingLink writer;
        writer.failing = r.failing;
        Outcome out;
        EXPECT_EQ(CreateShortcutWith(writer, target.c_str(), link.c_str(), "desc", out), r.result) << r.failing;
        EXPECT_EQ(ProblemLines(out), r.problems) << r.failing;
        EXPECT_EQ(writer.saved, std::string(r.failing) == "Create" ? "" : WorkPathFor(link)) << r.failing;
        EXPECT_EQ(ReadText(link), r.saved ? "link" : "<missing>") << r.failing;
        EXPECT_EQ(ListNames(root),
                  (r.saved ? Names{"Desktop", "Inst", "Programs", "l.lnk"} : Names{"Desktop", "Inst", "Programs"}));
    }
    // The shell's own object: a save into a missing folder, or under a name
    // past 255 units (the work file is saved, but cannot take that name).
    for (std::string bad : {At("no such folder\\x.lnk"), root + "\\" + std::string(300, 'k') + ".lnk"}) {
        Outcome out;
        EXPECT_LT(CreateShortcut(At("Inst\\Dovetra.exe").c_str(), bad.c_str(), "d", out), 0);
        ASSERT_EQ(out.problems.size(), 1u);
        EXPECT_EQ(out.problems[0].item + out.problems[0].why, bad + "Save failed!");
        EXPECT_FALSE(Exists(bad));
        EXPECT_EQ(ListNames(root), (Names{"Desktop", "Inst", "Programs"}));
    }
    // A link path at the shell's limit, 259 units: saved and put in place.
    const std::string longest = root + "\\" + std::string(259 - root.size() - 5, 'k') + ".lnk";
    Outcome out;
    EXPECT_EQ(CreateShortcut(At("Inst\\Dovetra.exe").c_str(), longest.c_str(), "d", out), S_OK);
    EXPECT_EQ(ProblemLines(out), Names{});
    EXPECT_EQ(LinkTarget(longest), At("Inst\\Dovetra.exe"));
    EXPECT_EQ(ListNames(root), (Names{"Desktop", "Inst", "Programs", longest.substr(root.size() + 1)}));
    EXPECT_TRUE(g_boxes.empty());
}
