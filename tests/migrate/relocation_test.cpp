// IsAtDefaultPaths, and relocation into a scratch "new default folder".
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
    for (auto& r : rows)
        EXPECT_EQ(IsAtDefaultPaths(r.install.c_str(), r.shared.c_str()), r.expected) << r.install << " | " << r.shared;
}

class Relocation : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        MakeTree(root, {"Old\\", "Old\\Kestrin Styles\\", "Old\\Kestrin Styles\\Deep\\", "Old\\Kestrin.exe=exe",
                        "Old\\Kestrin Styles\\Deep\\s.sty=style", "Old\\.lock=l"});
        // The sequencer relocates with the install folder current.
        ASSERT_TRUE(platform::SetCurrentFolder(At("Old").c_str()));
    }
    bool Relocate(const std::string& to) {
        return RelocateInstallationTo(kOwner, At("Old").c_str(), to.c_str()) == RelocationResult::kMoved;
    }
    std::string New(const std::string& rel = "") const {
        return At("Halvern\\Dovetra 5") + (rel.empty() ? "" : "\\" + rel);
    }
};

// Into a folder that holds other things; dot-names stay behind with their
// folder, which gets no box.
TEST_F(Relocation, MovesEverythingAndLeavesTheOldFolder) {
    MakeTree(root, {"Halvern\\", New() + "\\", New("Kestrin Styles\\"), New("other.txt=other")});
    EXPECT_TRUE(Relocate(New()));
    EXPECT_EQ(ReadText(New("Kestrin.exe")) + ReadText(New("Kestrin Styles\\Deep\\s.sty")), "exestyle");
    EXPECT_EQ(ReadText(New("other.txt")), "other");
    EXPECT_EQ(ListNames(At("Old")), Names{});
    EXPECT_TRUE(Exists(At("Old\\.lock")));
    EXPECT_EQ(CurrentDir(), New()) << "the current directory was moved out of the way";
    EXPECT_TRUE(g_boxes.empty());
}

// The installation stays whole where it is and one box says why.
TEST_F(Relocation, RefusalsLeaveTheInstallationWhereItIs) {
    platform::Handle held;
    std::string deep = At("Halvern\\" + std::string(255 - At("Halvern\\").size() - 20, 'x'));
    const std::string taken = "A file or folder of that name is there already.";
    // clang-format off
    struct { std::function<void()> setUp; std::string to, from, dest, reason; } rows[] = {
        {[&] { MakeTree(root, {"Halvern\\", New() + "\\", New("Kestrin Styles\\"), New("Kestrin Styles\\Deep\\"),
                               New("Kestrin Styles\\Deep\\s.sty=x")}); },
         New(), At("Old\\Kestrin Styles\\Deep\\s.sty"), New("Kestrin Styles\\Deep\\s.sty"), taken},
        {[&] { MakeTree(root, {"Halvern\\", New() + "\\", New("Kestrin.exe\\")}); },
         New(), At("Old\\Kestrin.exe"), New("Kestrin.exe"), taken},
        {[&] { ASSERT_TRUE(platform::OpenRead(At("Old\\Kestrin Styles\\Deep\\s.sty").c_str(), held)); },
         New(), At("Old\\Kestrin Styles\\Deep\\s.sty"), New("Kestrin Styles\\Deep\\s.sty"),
         "The file is in use by another program."},
        {[] {}, deep, At("Old\\Kestrin Styles\\Deep\\s.sty"), deep + "\\Kestrin Styles\\Deep\\s.sty",
         "The new path would be longer than 255 characters."},
        {[] {}, At("Old\\Dovetra 5"), At("Old"), At("Old\\Dovetra 5"), "The new folder lies inside the installation."},
        {[&] { WriteText(At("Halvern"), "a file"); }, New(), At("Old"), New(), "The new folder cannot be made."},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("Halvern"));
        held.Reset();
        g_boxes.clear();
        r.setUp();
        EXPECT_FALSE(Relocate(r.to)) << r.reason;
        EXPECT_EQ(ReadText(At("Old\\Kestrin.exe")) + ReadText(At("Old\\Kestrin Styles\\Deep\\s.sty")), "exestyle");
        EXPECT_EQ(CurrentDir(), At("Old"));
        EXPECT_EQ(BoxTexts(),
                  Names{"Unable to move or rename \"" + r.from + "\" to \"" + r.dest + "\".\n\n" + r.reason +
                        "\nNothing has been moved: the installation stays in \"" + At("Old") + "\"."});
    }
    EXPECT_FALSE(Exists(deep));
    EXPECT_FALSE(Exists(At("Old\\Dovetra 5")));
    // With nothing in the way the relocation goes through.
    RemoveAll(At("Halvern"));
    EXPECT_TRUE(Relocate(New()));
}
