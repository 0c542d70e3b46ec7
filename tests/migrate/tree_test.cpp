// CopyOrMoveTree and DeleteTree: trees, messages and their order, the
// current directory after every walk, folder links.
#include <string>
#include <vector>
#include "migrate/relocation.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "scratch.h"

using namespace migrate;

using Tree = Scratch;
using Delete = Scratch;

constexpr TreeResult kDone = TreeResult::kDone;
constexpr TreeResult kIncomplete = TreeResult::kIncomplete;

static std::string MoveMessage(const std::string& from, const std::string& to) {
    return "Unable to move or rename \"" + from + "\" to \"" + to + "\".";
}

static const Names kSourceTree = {"S\\",
                                  "S\\sub\\",
                                  "S\\sub\\deeper\\",
                                  "S\\.hidden\\",
                                  "S\\a.txt=A",
                                  "S\\.dot.txt=dot",
                                  "S\\sub\\b.txt=B",
                                  "S\\sub\\deeper\\c.txt=C",
                                  "S\\.hidden\\x=X"};

TEST_F(Tree, CopyBringsEveryFileButDotNamesAndRestoresTheDirectory) {
    MakeTree(root, kSourceTree);
    MakeDir(At("D"));
    EXPECT_EQ(CopyOrMoveTree(kOwner, At("S").c_str(), At("D").c_str(), true), kDone);
    EXPECT_EQ(ReadText(At("D\\a.txt")) + ReadText(At("D\\sub\\deeper\\c.txt")), "AC");
    EXPECT_EQ(ListNames(At("D")), (Names{"a.txt", "sub"}));
    EXPECT_EQ(ReadText(At("S\\sub\\b.txt")), "B") << "copy leaves the source";
    // Onto itself under another spelling: nothing is touched.
    SetWriteTime(At("S\\a.txt"), 129000000000000000ULL);
    EXPECT_EQ(CopyOrMoveTree(kOwner, At("S").c_str(), (root + "\\s").c_str(), true), kDone);
    EXPECT_EQ(WriteTime(At("S\\a.txt")), 129000000000000000ULL);
    // A missing source copies and moves nothing, and says so.
    EXPECT_EQ(CopyOrMoveTree(kOwner, At("none").c_str(), At("D").c_str(), true), kIncomplete);
    EXPECT_EQ(CopyOrMoveTree(kOwner, At("none").c_str(), At("D").c_str(), false), kIncomplete);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}

// S\A\B\f cannot move because D\A\B\f exists; everything else moves.
TEST_F(Tree, WorkedExampleShowsThreeNestedMessagesInOrder) {
    MakeTree(root, {"S\\", "S\\A\\", "S\\A\\B\\", "S\\C\\", "S\\A\\B\\f=new f", "S\\A\\B\\g=g", "S\\A\\h=h",
                    "S\\C\\i=i", "D\\", "D\\A\\", "D\\A\\B\\", "D\\A\\B\\f=old f"});
    EXPECT_EQ(CopyOrMoveTree(kOwner, At("S").c_str(), At("D").c_str(), false), kIncomplete);
    EXPECT_EQ(BoxTexts(), (Names{MoveMessage("f", At("D\\A\\B\\f")), MoveMessage(At("S\\A\\B"), At("D\\A\\B")),
                                 MoveMessage(At("S\\A"), At("D\\A"))}));
    EXPECT_EQ(g_boxes[0].title, "Update Error");
    EXPECT_EQ(g_boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(ReadText(At("D\\A\\B\\f")) + "|" + ReadText(At("S\\A\\B\\f")), "old f|new f");
    EXPECT_EQ(ReadText(At("D\\A\\B\\g")) + ReadText(At("D\\A\\h")) + ReadText(At("D\\C\\i")), "ghi");
    EXPECT_EQ(ListNames(At("S")), Names{"A"});
    EXPECT_EQ(ListNames(At("S\\A")), Names{"B"});
    EXPECT_EQ(CurrentDir(), root);
}

// One failure makes the whole result incomplete, wherever it falls.
TEST_F(Tree, AFileInUseIsReportedAndTheRestIsCopied) {
    MakeTree(root, {"S\\", "D\\", "S\\one=1", "S\\two=2", "D\\one=locked", "D\\two=old"});
    for (const char* busyName : {"one", "two"}) {
        g_boxes.clear();
        platform::Handle busy;  // open without write sharing: cannot be written
        ASSERT_TRUE(platform::OpenRead(At(std::string("D\\") + busyName).c_str(), busy));
        EXPECT_EQ(CopyOrMoveTree(kOwner, At("S").c_str(), At("D").c_str(), true), kIncomplete) << busyName;
        EXPECT_EQ(BoxTexts(), Names{MoveMessage(busyName, At(std::string("D\\") + busyName))});
    }
    EXPECT_EQ(ReadText(At("D\\one")) + ReadText(At("D\\two")), "12");
}

// The shared folder may hold the install folder: everything but the
// destination itself is copied into it, without a box.
TEST_F(Tree, ADestinationInsideTheSourceIsLeftOutOfTheCopy) {
    // clang-format off
    struct { const char* dest; const char* notCopied; } rows[] = {
        {"S\\Inst", "S\\Inst\\Inst"},
        {"S\\sub\\Inst", "S\\sub\\Inst\\sub\\Inst"},
        {"s\\SUB\\inst", "S\\sub\\Inst\\sub\\Inst"},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("S"));
        MakeTree(root, kSourceTree);
        MakeTree(root, {"S\\Inst\\", "S\\sub\\Inst\\", "S\\Inst\\mine=m"});
        g_boxes.clear();
        EXPECT_EQ(CopyOrMoveTree(kOwner, At("S").c_str(), At(r.dest).c_str(), true), kDone) << r.dest;
        EXPECT_TRUE(g_boxes.empty()) << r.dest;
        EXPECT_EQ(ReadText(At(r.dest) + "\\a.txt") + ReadText(At(r.dest) + "\\sub\\deeper\\c.txt"), "AC");
        EXPECT_FALSE(Exists(At(r.notCopied))) << r.dest;
        EXPECT_EQ(ReadText(At("S\\Inst\\mine")), "m");
        EXPECT_EQ(CurrentDir(), root);
    }
}

TEST_F(Tree, PathsBeyond255CharactersAreRefusedWithAMessage) {
    // S\<long> and D\<long> take 240 characters; with a 15-character name
    // a file path takes 256: it still exists (Windows allows 259), but the
    // walk's 256-byte buffers cannot name it.
    std::string longDir(240 - root.size() - 3, 'L');
    const std::string name = "fifteen-chars.x";
    MakeTree(root, {"S\\", "S\\" + longDir + "\\", "S\\" + longDir + "\\" + name + "=x", "S\\short=s", "D\\"});
    std::string longDest = At("D\\" + longDir + "\\" + name);
    ASSERT_EQ(longDest.size(), 256u);
    for (bool copy : {false, true}) {  // the move first: it leaves "short" moved
        g_boxes.clear();
        EXPECT_EQ(CopyOrMoveTree(kOwner, At("S").c_str(), At("D").c_str(), copy), kIncomplete);
        EXPECT_EQ(BoxTexts(),
                  (Names{MoveMessage(name, longDest), MoveMessage(At("S\\" + longDir), At("D\\" + longDir))}));
        EXPECT_EQ(ReadText(At("D\\short")), "s");
        EXPECT_EQ(ListNames(At("D\\" + longDir)).size(), 0u);
        EXPECT_EQ(CurrentDir(), root);
    }
}

// A folder link inside the tree leads to user files elsewhere: no walk may
// copy, move or delete them. Where the system can act on the link itself it
// moves or removes only the link; where it cannot (Wine), the walk reports
// the link and leaves it.
TEST_F(Tree, FolderLinksAreLeaves) {
    for (std::string name : {"copy", "move", "delete", "relocate"}) {
        for (const char* old : {"S", "D\\in", "D", "User"}) RemoveAll(At(old));
        MakeTree(root,
                 {"S\\", "S\\a.txt=A", "D\\", "User\\", "User\\letter.txt=dear", "User\\sub\\", "User\\sub\\f=f"});
        MakeFolderLink(At("S\\lnk"), At("User"));
        g_boxes.clear();
        if (name == "copy") {  // and a link in the destination is not written through
            MakeTree(root, {"S\\in\\", "S\\in\\x=X"});
            MakeFolderLink(At("D\\in"), At("User"));
            EXPECT_EQ(CopyOrMoveTree(kOwner, At("S").c_str(), At("D").c_str(), true), kIncomplete);
            EXPECT_EQ(ListNames(At("D")), (Names{"a.txt", "in"})) << "the link is passed over";
            EXPECT_EQ(BoxTexts(), Names{MoveMessage(At("S\\in"), At("D\\in"))});
        } else if (name == "move") {
            CopyOrMoveTree(kOwner, At("S").c_str(), At("D").c_str(), false);
            EXPECT_EQ(ReadText(At("D\\a.txt")), "A");
        } else if (name == "delete") {
            DeleteTree(kOwner, At("S").c_str());
        } else {
            RelocateInstallationTo(kOwner, At("S").c_str(), At("D").c_str());
        }
        EXPECT_EQ(ListNames(At("User")), (Names{"letter.txt", "sub"})) << name;
        EXPECT_EQ(ReadText(At("User\\letter.txt")) + ReadText(At("User\\sub\\f")), "dearf") << name;
        bool linkKept = platform::IsFolderLink(At("S\\lnk").c_str());
        bool linkMoved = platform::IsFolderLink(At("D\\lnk").c_str());
        if (name == "copy") {
            EXPECT_TRUE(linkKept && !Exists(At("D\\lnk")));
        } else if (name == "delete") {
            EXPECT_EQ(g_boxes.size(), linkKept ? 1u : 0u);
        } else {
            EXPECT_NE(linkKept, linkMoved) << name;
            if (name == "relocate") {
                EXPECT_EQ(linkKept, Exists(At("S\\a.txt"))) << "all or nothing";
            }
        }
        EXPECT_EQ(CurrentDir(), root);
    }
}

// What cannot go stops the walk, with a box on every level above it.
TEST_F(Delete, RemovesTheTreeOrStopsAtWhatCannotGo) {
    std::string longDir(254 - root.size(), 'L');
    // clang-format off
    struct { Names tree; std::string stays; Names boxes; TreeResult result; } rows[] = {
        {{"T\\", "T\\a\\", "T\\a\\b\\", "T\\empty\\", "T\\f=f", "T\\a\\b\\g=g"}, "", {}, kDone},
        {{}, "", {}, kIncomplete},  // a missing folder is no success
        {{"T\\", "T\\A\\", "T\\A\\B\\", "T\\A\\B\\ro.txt=r"}, "T\\A\\B\\ro.txt",
         {"Cannot delete file \"ro.txt\".", "Cannot delete folder \"" + At("T\\A\\B") + "\".",
          "Cannot delete folder \"" + At("T\\A") + "\"."}, kIncomplete},
        {{"T\\", "T\\A\\", "T\\A\\.keep=k"}, "T\\A\\.keep", {"Cannot delete folder \"" + At("T\\A") + "\"."}, kIncomplete},
        {{"T\\", "T\\" + longDir + "\\"}, "T\\" + longDir, {"Cannot delete folder \"" + At("T\\" + longDir) + "\"."},
         kIncomplete},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("T"));
        MakeTree(root, r.tree);
        platform::SetReadOnly(At("T\\A\\B\\ro.txt").c_str(), true);
        g_boxes.clear();
        EXPECT_EQ(DeleteTree(kOwner, At("T").c_str()), r.result) << r.stays;
        EXPECT_EQ(BoxTexts(), r.boxes);
        EXPECT_EQ(Exists(At("T")), !r.stays.empty());
        if (!r.stays.empty()) {
            EXPECT_TRUE(Exists(At(r.stays)));
        }
        EXPECT_EQ(CurrentDir(), root);
    }
}
