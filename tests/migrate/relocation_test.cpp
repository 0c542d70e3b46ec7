// IsAtDefaultPaths, and relocation into a scratch "new default folder".
#include <algorithm>
#include <functional>
#include <string>
#include "migrate/relocation.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "scratch.h"

using namespace migrate;

TEST(DefaultPaths, OnlyLetterCaseIsForgiven) {
    const std::string install = "C:\\Program Files\\Vantor Corp\\Kestrin 5.0";
    const std::string shared = "C:\\Program Files\\Vantor Corp\\Vantor";
    // clang-format off
    struct { std::string install, shared; bool expected; } rows[] = {
        {install, shared, true},
        {"c:\\PROGRAM FILES\\vantor corp\\KESTRIN 5.0", "C:\\program files\\VANTOR CORP\\vantor", true},
        {install + "\\", shared, false},
        {"C:\\PROGRA~1\\VANTOR~1\\KESTRI~1.0", shared, false},
        {"C:/Program Files/Vantor Corp/Kestrin 5.0", shared, false},
        {"", "", false},
    };
    // clang-format on
    for (auto& r : rows) EXPECT_EQ(IsAtDefaultPaths(r.install, r.shared), r.expected) << r.install << " | " << r.shared;
}

class Relocation : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        MakeInstallation();
    }
    void MakeInstallation() {
        MakeTree(root, {"Old\\", "Old\\Kestrin Styles\\", "Old\\Kestrin Styles\\Deep\\", "Old\\Kestrin.exe=exe",
                        "Old\\Kestrin Styles\\Deep\\s.sty=style", "Old\\.lock=l"});
    }
    Outcome Relocate(const std::string& to, const StopCheck& stop = {}) {
        return RelocateInstallation(At("Old"), to, stop);
    }
    std::string New(const std::string& rel = "") const {
        return At("Halvern\\Dovetra 5") + (rel.empty() ? "" : "\\" + rel);
    }
    // The installation whole, where it is.
    std::string Whole(const std::string& folder) const {
        return ReadText(folder + "\\Kestrin.exe") + ReadText(folder + "\\Kestrin Styles\\Deep\\s.sty");
    }
};

// Into a folder that holds other things, and again after a move cut off
// anywhere: everything ends up in the new folder, and dot-names stay behind
// with their folder, which is no problem. A current directory inside the
// installation is moved out of the way.
TEST_F(Relocation, MovesEverythingAndFinishesAMoveCutOff) {
    // Asked before each item: yes once the first file has gone.
    StopCheck afterOneFile = [&] { return Exists(New("Kestrin.exe")) || Exists(New("Kestrin Styles\\Deep\\s.sty")); };
    // clang-format off
    struct { std::function<void()> cutOff; const char* what; } rows[] = {
        {[&] { MakeTree(root, {New() + "\\", New("Kestrin Styles\\"), New("other.txt=other")});
               ASSERT_TRUE(platform::SetCurrentFolder(At("Old\\Kestrin Styles").c_str())); }, "fresh"},
        {[&] { MakeTree(root, {New() + "\\", New("Kestrin.exe=exe")}); }, "a file copied, its source not deleted"},
        {[&] { MakeTree(root, {New() + "\\", New("Kestrin Styles\\"), New("Kestrin Styles\\Deep\\")});
               ASSERT_TRUE(platform::MoveItem(At("Old\\Kestrin Styles\\Deep\\s.sty").c_str(),
                                              New("Kestrin Styles\\Deep\\s.sty").c_str())); }, "a file moved"},
        {[&] { Outcome out = Relocate(New(), afterOneFile);
               EXPECT_TRUE(out.stopped && out.problems.empty());
               EXPECT_NE(Whole(At("Old")), "exestyle") << "one item moved"; }, "stopped after one item"},
        {[&] { ASSERT_TRUE(Relocate(New()).Ok()); RemoveAll(At("Old")); }, "done before, the old folder gone"},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("Halvern"));
        MakeInstallation();
        r.cutOff();
        EXPECT_EQ(ProblemLines(Relocate(New())), Names{}) << r.what;
        EXPECT_EQ(Whole(New()), "exestyle") << r.what;
        EXPECT_EQ(ListNames(At("Old")), Names{}) << r.what;
        if (&r == &rows[0]) {
            EXPECT_EQ(ReadText(New("other.txt")), "other");
            EXPECT_TRUE(Exists(At("Old\\.lock")));
            EXPECT_EQ(CurrentDir(), New()) << "the current directory was moved out of the way";
            ASSERT_TRUE(platform::SetCurrentFolder(root.c_str()));
        }
    }
    EXPECT_TRUE(g_boxes.empty());
}

// Every reason the move cannot be made whole comes back, and nothing moves.
TEST_F(Relocation, RefusalsLeaveTheInstallationWhereItIs) {
    platform::Handle held;
    const std::string taken = "A file or folder of that name is there already.";
    const std::string inUse = "The file is in use by another program.";
    const std::string sty = "Kestrin Styles\\Deep\\s.sty";
    // clang-format off
    struct { std::function<void()> setUp; std::string to; Names problems; } rows[] = {
        {[&] { MakeTree(root, {New("Kestrin Styles\\Deep\\"), New(sty + "=x")}); },
         New(), {ProblemLine(At("Old\\" + sty), New(sty), taken)}},
        {[&] { ASSERT_TRUE(platform::OpenRead(At("Old\\" + sty).c_str(), held)); },
         New(), {ProblemLine(At("Old\\" + sty), New(sty), inUse)}},
        // Both at once: every problem is told, not only the first.
        {[&] { MakeTree(root, {New("Kestrin.exe\\")}); ASSERT_TRUE(platform::OpenRead(At("Old\\" + sty).c_str(), held)); },
         New(), {ProblemLine(At("Old\\" + sty), New(sty), inUse), ProblemLine(At("Old\\Kestrin.exe"), New("Kestrin.exe"), taken)}},
        // A link at a file's name that leads to the file itself (a host link
        // under Wine, which shows it as the file) is no earlier move: deleting
        // the source would leave the link leading nowhere.
        {[&] { MakeTree(root, {New() + "\\"}); MakeFileLink(New("Kestrin.exe"), At("Old\\Kestrin.exe"), true); },
         New(), {ProblemLine(At("Old\\Kestrin.exe"), New("Kestrin.exe"), taken)}},
        // A folder link at a folder's name would take the files elsewhere.
        {[&] { MakeTree(root, {New() + "\\", "User\\"}); MakeFolderLink(New("Kestrin Styles"), At("User")); },
         New(), {ProblemLine(At("Old\\Kestrin Styles"), New("Kestrin Styles"), taken)}},
        {[] {}, At("Old\\Dovetra 5"), {ProblemLine(At("Old"), At("Old\\Dovetra 5"), "The new folder lies inside the installation.")}},
        {[&] { WriteText(At("Halvern"), "a file"); }, New(), {ProblemLine(At("Old"), New(), "", ERROR_PATH_NOT_FOUND)}},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("Halvern"));
        RemoveAll(At("User"));
        held.Reset();
        SCOPED_TRACE(r.problems.front());
        r.setUp();
        Names problems = ProblemLines(Relocate(r.to));
        std::sort(problems.begin(), problems.end());
        std::sort(r.problems.begin(), r.problems.end());
        EXPECT_EQ(problems, r.problems);
        EXPECT_EQ(Whole(At("Old")), "exestyle");
        EXPECT_EQ(ListNames(At("User")), Names{});
    }
    EXPECT_FALSE(Exists(At("Old\\Dovetra 5")));
    EXPECT_EQ(CurrentDir(), root);
    // With nothing in the way the relocation goes through.
    RemoveAll(At("Halvern"));
    EXPECT_TRUE(Relocate(New()).Ok());
}
