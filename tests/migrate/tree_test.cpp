// CopyOrMoveTree and DeleteTree: trees, the problems they return, the
// current directory they never change, folder links, paths past MAX_PATH.
#include <algorithm>
#include <string>
#include <vector>
#include "migrate/relocation.h"
#include "migrate/tree.h"
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/utf.h"
#include "scratch.h"

using namespace migrate;

using Tree = Scratch;
using Delete = Scratch;

static const char kTaken[] = "Another file of that name is there already.";
static const char kLinkAtDest[] = "A folder link is there; nothing is written through it.";

static const Names kSourceTree = {"S\\",
                                  "S\\sub\\",
                                  "S\\sub\\deeper\\",
                                  "S\\.hidden\\",
                                  "S\\a.txt=A",
                                  "S\\.dot.txt=dot",
                                  "S\\sub\\b.txt=B",
                                  "S\\sub\\deeper\\c.txt=C",
                                  "S\\.hidden\\x=X"};

TEST_F(Tree, CopyBringsEveryFileButDotNames) {
    MakeTree(root, kSourceTree);
    MakeDir(At("D"));
    EXPECT_TRUE(CopyOrMoveTree(At("S"), At("D"), true).Ok());
    EXPECT_EQ(ReadText(At("D\\a.txt")) + ReadText(At("D\\sub\\deeper\\c.txt")), "AC");
    EXPECT_EQ(ListNames(At("D"), true), (Names{"a.txt", "sub"}));
    EXPECT_EQ(ReadText(At("S\\sub\\b.txt")), "B") << "copy leaves the source";
    // Onto itself under another spelling: nothing is touched.
    SetWriteTime(At("S\\a.txt"), 129000000000000000ULL);
    EXPECT_TRUE(CopyOrMoveTree(At("S"), root + "\\s", true).Ok());
    EXPECT_EQ(WriteTime(At("S\\a.txt")), 129000000000000000ULL);
    // A missing source copies and moves nothing, and says so.
    for (bool copy : {true, false})
        EXPECT_EQ(ProblemLines(CopyOrMoveTree(At("none"), At("D"), copy)),
                  Names{ProblemLine(At("none"), At("D"), "", ERROR_PATH_NOT_FOUND)});
    EXPECT_EQ(CurrentDir(), root);
}

// S\A\B\f cannot move because another D\A\B\f exists; D\A\h is S\A\h's own
// earlier move (same bytes, its source not yet deleted), so S\A\h goes.
// Everything else moves; only the folders on the way to f stay.
TEST_F(Tree, AMoveNeverReplacesAFileAndFinishesAnEarlierMove) {
    MakeTree(root, {"S\\", "S\\A\\", "S\\A\\B\\", "S\\C\\", "S\\A\\B\\f=new f", "S\\A\\B\\g=g", "S\\A\\h=h",
                    "S\\C\\i=i", "D\\", "D\\A\\", "D\\A\\B\\", "D\\A\\B\\f=old f", "D\\A\\h=h"});
    EXPECT_EQ(ProblemLines(CopyOrMoveTree(At("S"), At("D"), false)),
              Names{ProblemLine(At("S\\A\\B\\f"), At("D\\A\\B\\f"), kTaken)});
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(ReadText(At("D\\A\\B\\f")) + "|" + ReadText(At("S\\A\\B\\f")), "old f|new f");
    EXPECT_EQ(ReadText(At("D\\A\\B\\g")) + ReadText(At("D\\A\\h")) + ReadText(At("D\\C\\i")), "ghi");
    EXPECT_EQ(ListNames(At("S")), Names{"A"});
    EXPECT_EQ(ListNames(At("S\\A")), Names{"B"});
    EXPECT_EQ(ListNames(At("S\\A\\B")), Names{"f"});
    EXPECT_EQ(CurrentDir(), root);
}

// A destination held open without delete sharing cannot be replaced;
// the other file is copied all the same, and no work file stays behind.
TEST_F(Tree, AFileInUseIsReportedAndTheRestIsCopied) {
    MakeTree(root, {"S\\", "D\\", "S\\one=1", "S\\two=2", "D\\one=locked", "D\\two=old"});
    for (std::string busyName : {"one", "two"}) {
        platform::Handle busy;
        ASSERT_TRUE(platform::OpenRead(At("D\\" + busyName).c_str(), busy));
        EXPECT_EQ(ProblemLines(CopyOrMoveTree(At("S"), At("D"), true)),
                  Names{ProblemLine(At("S\\" + busyName), At("D\\" + busyName), "", ERROR_ACCESS_DENIED)});
        EXPECT_EQ(ListNames(At("D")), (Names{"one", "two"}));
    }
    EXPECT_EQ(ReadText(At("D\\one")) + ReadText(At("D\\two")), "12");
}

// The shared folder may hold the install folder: everything but the
// destination itself is copied into it, without a problem.
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
        EXPECT_TRUE(CopyOrMoveTree(At("S"), At(r.dest), true).Ok()) << r.dest;
        EXPECT_EQ(ReadText(At(r.dest) + "\\a.txt") + ReadText(At(r.dest) + "\\sub\\deeper\\c.txt"), "AC");
        EXPECT_FALSE(Exists(At(r.notCopied))) << r.dest;
        EXPECT_EQ(ReadText(At("S\\Inst\\mine")), "m");
    }
}

// Full paths past MAX_PATH (260 UTF-16 units), which Windows allows in their
// long form. A name under Wine may take 255 bytes of UTF-8 (the host's
// limit), so 120 Greek letters (240 bytes) nested twice and 80 CJK ideographs
// (240 bytes) nested three times. Copied, moved as an installation, deleted.
// Wine does not hold the wide calls to MAX_PATH, so here the rows catch a
// length cap of our own; that the "\\?\" form is needed shows on Windows.
TEST_F(Tree, PathsPastMaxPathAreCopiedMovedAndDeletedWhole) {
    std::string greek, cjk;
    for (int i = 0; i < 15; ++i) greek += "αβγδεζηθ";
    for (int i = 0; i < 16; ++i) cjk += "漢字文件夾";
    // clang-format off
    struct { std::string name; int depth; } rows[] = {{greek, 2}, {cjk, 3}};
    // clang-format on
    for (auto& r : rows) {
        for (const char* old : {"S", "D", "E"}) RemoveAll(At(old));
        std::string deep;
        for (int i = 0; i < r.depth; ++i) deep += r.name + "\\";
        MakeTree(root, {"S\\" + deep, "S\\" + deep + "f.txt=deep", "S\\short=s", "D\\"});
        ASSERT_GT(platform::WideLength(At("E\\" + deep + "f.txt").c_str()), 300u);
        EXPECT_EQ(ProblemLines(CopyOrMoveTree(At("S"), At("D"), true)), Names{}) << r.depth;
        EXPECT_EQ(ProblemLines(RelocateInstallation(At("D"), At("E"))), Names{}) << r.depth;
        EXPECT_EQ(ReadText(At("E\\" + deep + "f.txt")) + ReadText(At("E\\short")), "deeps") << r.depth;
        EXPECT_EQ(ReadText(At("S\\" + deep + "f.txt")), "deep") << "the copy's source stays";
        EXPECT_FALSE(Exists(At("D")));
        EXPECT_EQ(ProblemLines(DeleteTree(At("E"))), Names{}) << r.depth;
        EXPECT_FALSE(Exists(At("E")));
    }
}

// A folder link inside the tree leads to user files elsewhere: no walk may
// copy, move or delete them, and no copy or move may write through a link at
// a destination folder's name (D\in). Where the system can act on the link
// itself it moves or removes only the link; where it cannot (Wine), the walk
// reports the link and leaves it.
TEST_F(Tree, FolderLinksAreLeaves) {
    for (std::string name : {"copy", "move", "delete", "relocate"}) {
        for (const char* old : {"S", "D\\in", "D", "User"}) RemoveAll(At(old));
        MakeTree(root,
                 {"S\\", "S\\a.txt=A", "D\\", "User\\", "User\\letter.txt=dear", "User\\sub\\", "User\\sub\\f=f"});
        MakeFolderLink(At("S\\lnk"), At("User"));
        Outcome out;
        Names expected;
        if (name == "copy" || name == "move") {
            MakeTree(root, {"S\\in\\", "S\\in\\x=X"});
            MakeFolderLink(At("D\\in"), At("User"));
            out = CopyOrMoveTree(At("S"), At("D"), name == "copy");
            EXPECT_EQ(ReadText(At("D\\a.txt")), "A");
            EXPECT_EQ(ReadText(At("S\\in\\x")), "X");
            expected.push_back(ProblemLine(At("S\\in"), At("D\\in"), kLinkAtDest));
        } else if (name == "delete") {
            out = DeleteTree(At("S"));
        } else {
            out = RelocateInstallation(At("S"), At("D"));
        }
        EXPECT_EQ(ListNames(At("User")), (Names{"letter.txt", "sub"})) << name;
        EXPECT_EQ(ReadText(At("User\\letter.txt")) + ReadText(At("User\\sub\\f")), "dearf") << name;
        bool linkKept = platform::IsFolderLink(At("S\\lnk").c_str());
        bool linkMoved = platform::IsFolderLink(At("D\\lnk").c_str());
        if (name == "copy") {
            EXPECT_TRUE(linkKept && !Exists(At("D\\lnk"))) << "the link is passed over";
        } else if (name != "delete") {
            EXPECT_NE(linkKept, linkMoved) << name;
        }
        if (name == "relocate") {
            EXPECT_EQ(linkKept, Exists(At("S\\a.txt"))) << "all or nothing";
        }
        // The link that stayed where it should have gone is the one other problem.
        auto isLink = [&](const Problem& p) { return p.item == At("S\\lnk"); };
        long linkProblems = std::count_if(out.problems.begin(), out.problems.end(), isLink);
        EXPECT_EQ(linkProblems, name != "copy" && linkKept ? 1 : 0) << name;
        out.problems.erase(std::remove_if(out.problems.begin(), out.problems.end(), isLink), out.problems.end());
        EXPECT_EQ(ProblemLines(out), expected) << name;
    }
    EXPECT_EQ(CurrentDir(), root);
}

// What cannot go stops the walk at that item, which is the one problem.
TEST_F(Delete, RemovesTheTreeOrStopsAtWhatCannotGo) {
    // clang-format off
    struct { Names tree; std::string stays; Names problems; } rows[] = {
        {{"T\\", "T\\a\\", "T\\a\\b\\", "T\\empty\\", "T\\f=f", "T\\a\\b\\g=g"}, "", {}},
        {{}, "", {}},  // a missing folder is no problem: a deletion run again
        {{"T\\", "T\\A\\", "T\\A\\B\\", "T\\A\\B\\ro.txt=r"}, "T\\A\\B\\ro.txt",
         {ProblemLine(At("T\\A\\B\\ro.txt"), "", "", ERROR_ACCESS_DENIED)}},
        {{"T\\", "T\\A\\", "T\\A\\.keep=k"}, "T\\A\\.keep", {ProblemLine(At("T\\A"), "", "", ERROR_DIR_NOT_EMPTY)}},
    };
    // clang-format on
    for (auto& r : rows) {
        RemoveAll(At("T"));
        MakeTree(root, r.tree);
        platform::SetReadOnly(At("T\\A\\B\\ro.txt").c_str(), true);
        EXPECT_EQ(ProblemLines(DeleteTree(At("T"))), r.problems) << r.stays;
        EXPECT_EQ(Exists(At("T")), !r.stays.empty());
        if (!r.stays.empty()) {
            EXPECT_TRUE(Exists(At(r.stays)));
        }
    }
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}
