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
         New(), {ProblemLine(At("Old\\" + sty), New(sty), inUse, ERROR_SHARING_VIOLATION)}},
        // Both at once: every problem is told, not only the first.
        {[&] { MakeTree(root, {New("Kestrin.exe\\")}); ASSERT_TRUE(platform::OpenRead(At("Old\\" + sty).c_str(), held)); },
         New(), {ProblemLine(At("Old\\" + sty), New(sty), inUse, ERROR_SHARING_VIOLATION), ProblemLine(At("Old\\Kestrin.exe"), New("Kestrin.exe"), taken)}},
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

// A folder held open by another program (as a command prompt holds its
// current folder) stops the move before it begins; this process's own
// current directory does not (the move leaves it).
TEST_F(Relocation, AHeldFolderIsInUse) {
    const std::string deep = At("Old\\Kestrin Styles\\Deep");
    platform::Handle held(::CreateFileA(deep.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(held.Valid());
    const Names inUse{ProblemLine(deep, New("Kestrin Styles\\Deep"),
                                  "The folder is in use by another program (open in it, or its current folder).",
                                  ERROR_SHARING_VIOLATION)};
    EXPECT_EQ(ProblemLines(CheckRelocation(At("Old"), New())), inUse);
    EXPECT_EQ(ProblemLines(Relocate(New())), inUse);
    EXPECT_EQ(Whole(At("Old")), "exestyle");
    held.Reset();
    ASSERT_TRUE(platform::SetCurrentFolder(deep.c_str()));
    EXPECT_EQ(ProblemLines(Relocate(New())), Names{});
    EXPECT_EQ(Whole(New()), "exestyle");
    EXPECT_EQ(CurrentDir(), New());
    ASSERT_TRUE(platform::SetCurrentFolder(root.c_str()));
}

// A folder link in the installation goes to the new folder as a link: the
// link itself is renamed and what it points to stays, untouched. Where the
// system renames only what a link points to (Wine), the link goes with the
// install folder renamed whole, which needs a new folder missing or empty.
TEST_F(Relocation, AFolderLinkGoesAsALink) {
    // clang-format off
    struct { Names newFolder; bool moves; } rows[] = {
        {{}, true},
        {{"Halvern\\Dovetra 5\\"}, true},
        {{"Halvern\\Dovetra 5\\", "Halvern\\Dovetra 5\\other.txt=o"}, false},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("Halvern"));
        RemoveAll(At("Old"));
        RemoveAll(At("User"));
        MakeInstallation();
        MakeTree(root, {"User\\", "User\\letter.txt=dear"});
        MakeFolderLink(At("Old\\My Data"), At("User"));
        MakeTree(root, r.newFolder);
        bool itself = platform::CheckFolderLinkMovable(At("Old\\My Data").c_str());
        bool moves = r.moves || itself;
        Names refused{ProblemLine(At("Old"), New(),
                                  "The folder link can be moved here only with the whole installation, and the new "
                                  "folder holds files.")};
        EXPECT_EQ(ProblemLines(CheckRelocation(At("Old"), New())), moves ? Names{} : refused) << r.newFolder.size();
        EXPECT_EQ(ProblemLines(Relocate(New())), moves ? Names{} : refused);
        EXPECT_EQ(Whole(moves ? New() : At("Old")), "exestyle");
        EXPECT_TRUE(platform::IsFolderLink((moves ? New("My Data") : At("Old\\My Data")).c_str()));
        EXPECT_EQ(ReadText((moves ? New("My Data") : At("Old\\My Data")) + "\\letter.txt"), "dear");
        EXPECT_EQ(ListNames(At("User")), Names{"letter.txt"});
        EXPECT_EQ(ReadText(At("User\\letter.txt")), "dear");
    }
    EXPECT_EQ(CurrentDir(), root);
}
