// CopyOrMoveTree and DeleteTree: trees, messages and their order, the
// current directory after every walk.
#include <memory>
#include <string>
#include <vector>
#include "migrate/tree.h"
#include "platform/file.h"
#include "scratch.h"

using Tree = Scratch;
using Delete = Scratch;

static std::string MoveMessage(const std::string& from, const std::string& to) {
    return "Unable to move or rename \"" + from + "\" to \"" + to + "\".";
}

// S: a.txt, .dot.txt, sub\b.txt, sub\deeper\c.txt, .hidden\x.txt
static void MakeSourceTree(const std::string& s) {
    MakeDir(s);
    MakeDir(s + "\\sub");
    MakeDir(s + "\\sub\\deeper");
    MakeDir(s + "\\.hidden");
    WriteText(s + "\\a.txt", "A");
    WriteText(s + "\\.dot.txt", "dot");
    WriteText(s + "\\sub\\b.txt", "B");
    WriteText(s + "\\sub\\deeper\\c.txt", "C");
    WriteText(s + "\\.hidden\\x.txt", "X");
}

TEST_F(Tree, CopyBringsEveryFileButDotNamesAndRestoresTheDirectory) {
    MakeSourceTree(At("S"));
    MakeDir(At("D"));
    EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), At("D").c_str(), true), 0);
    EXPECT_EQ(ReadText(At("D\\a.txt")), "A");
    EXPECT_EQ(ReadText(At("D\\sub\\b.txt")), "B");
    EXPECT_EQ(ReadText(At("D\\sub\\deeper\\c.txt")), "C");
    EXPECT_FALSE(Exists(At("D\\.dot.txt")));
    EXPECT_FALSE(Exists(At("D\\.hidden")));
    EXPECT_EQ(ReadText(At("S\\sub\\b.txt")), "B") << "copy leaves the source";
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Tree, MissingSourceCopiesNothingButFailsAMove) {
    MakeDir(At("D"));
    EXPECT_EQ(CopyOrMoveTree(At("none").c_str(), At("D").c_str(), true), 0);
    EXPECT_EQ(CurrentDir(), root);
    EXPECT_EQ(CopyOrMoveTree(At("none").c_str(), At("D").c_str(), false), -1);
    EXPECT_EQ(CurrentDir(), root);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_TRUE(ListNames(At("D")).empty());
}

TEST_F(Tree, CopyOntoItselfInOtherLetterCaseDoesNothing) {
    MakeSourceTree(At("S"));
    SetWriteTime(At("S\\a.txt"), 129000000000000000ULL);
    std::string upper = root + "\\s";
    EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), upper.c_str(), true), 0);
    EXPECT_EQ(WriteTime(At("S\\a.txt")), 129000000000000000ULL);
    EXPECT_EQ(ListNames(At("S")).size(), 2u);
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Tree, MoveEmptiesAndRemovesTheSourceButKeepsDotNames) {
    MakeSourceTree(At("S"));
    MakeDir(At("D"));
    WriteText(At("S\\sub\\.keep"), "k");
    EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), At("D").c_str(), false), -1);
    EXPECT_EQ(ReadText(At("D\\a.txt")), "A");
    EXPECT_EQ(ReadText(At("D\\sub\\deeper\\c.txt")), "C");
    EXPECT_FALSE(Exists(At("S\\a.txt")));
    EXPECT_FALSE(Exists(At("S\\sub\\deeper"))) << "emptied folders go";
    EXPECT_TRUE(Exists(At("S\\sub\\.keep")));
    // ".keep" holds "sub"; the caller's own folder S gets no box.
    ASSERT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(g_boxes[0].text, MoveMessage(At("S\\sub"), At("D\\sub")));
    EXPECT_EQ(g_boxes[0].title, "Update Error");
    EXPECT_EQ(g_boxes[0].flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
    EXPECT_EQ(g_boxes[0].owner, nullptr);
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Tree, WholeMoveRemovesTheSource) {
    MakeDir(At("S"));
    MakeDir(At("S\\x"));
    WriteText(At("S\\x\\f"), "F");
    MakeDir(At("D"));
    EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), At("D").c_str(), false), 0);
    EXPECT_FALSE(Exists(At("S")));
    EXPECT_EQ(ReadText(At("D\\x\\f")), "F");
    EXPECT_TRUE(g_boxes.empty());
}

// S\A\B\f cannot move because D\A\B\f exists; everything else moves.
TEST_F(Tree, WorkedExampleShowsThreeNestedMessagesInOrder) {
    MakeDir(At("S"));
    MakeDir(At("S\\A"));
    MakeDir(At("S\\A\\B"));
    MakeDir(At("S\\C"));
    WriteText(At("S\\A\\B\\f"), "new f");
    WriteText(At("S\\A\\B\\g"), "g");
    WriteText(At("S\\A\\h"), "h");
    WriteText(At("S\\C\\i"), "i");
    MakeDir(At("D"));
    MakeDir(At("D\\A"));
    MakeDir(At("D\\A\\B"));
    WriteText(At("D\\A\\B\\f"), "old f");
    EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), At("D").c_str(), false), -1);
    std::vector<std::string> expected = {
        MoveMessage("f", At("D\\A\\B\\f")),
        MoveMessage(At("S\\A\\B"), At("D\\A\\B")),
        MoveMessage(At("S\\A"), At("D\\A")),
    };
    EXPECT_EQ(BoxTexts(), expected);
    EXPECT_EQ(ReadText(At("D\\A\\B\\f")), "old f");
    EXPECT_EQ(ReadText(At("S\\A\\B\\f")), "new f");
    EXPECT_EQ(ReadText(At("D\\A\\B\\g")), "g");
    EXPECT_EQ(ReadText(At("D\\A\\h")), "h");
    EXPECT_EQ(ReadText(At("D\\C\\i")), "i");
    EXPECT_FALSE(Exists(At("S\\C")));
    EXPECT_EQ(ListNames(At("S")), std::vector<std::string>{"A"});
    EXPECT_EQ(ListNames(At("S\\A")), std::vector<std::string>{"B"});
    EXPECT_EQ(CurrentDir(), root);
}

// The walk's result is the last entry's: a later success hides an earlier
// failure, whose box has been shown.
TEST_F(Tree, CopyFirstFailsSecondSucceeds) {
    MakeDir(At("S"));
    MakeDir(At("D"));
    WriteText(At("S\\one"), "1");
    WriteText(At("S\\two"), "2");
    std::vector<std::string> order = ListNames(At("S"));
    ASSERT_EQ(order.size(), 2u);
    WriteText(At("D\\" + order[0]), "locked");
    WriteText(At("D\\" + order[1]), "old");
    // A file held open without write sharing cannot be written: in use.
    auto busy = std::make_unique<platform::Handle>();
    ASSERT_TRUE(platform::OpenRead(At("D\\" + order[0]).c_str(), *busy));
    EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), At("D").c_str(), true), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{MoveMessage(order[0], At("D\\" + order[0]))});
    EXPECT_EQ(ReadText(At("D\\" + order[0])), "locked");
    EXPECT_EQ(ReadText(At("D\\" + order[1])), order[1] == "one" ? "1" : "2");
    // The other way round the failure is the result.
    g_boxes.clear();
    busy = std::make_unique<platform::Handle>();
    ASSERT_TRUE(platform::OpenRead(At("D\\" + order[1]).c_str(), *busy));
    EXPECT_NE(CopyOrMoveTree(At("S").c_str(), At("D").c_str(), true), 0);
    EXPECT_EQ(g_boxes.size(), 1u);
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Tree, RefusesADestinationInsideTheSource) {
    MakeSourceTree(At("S"));
    struct { std::string dest; } rows[] = {
        {At("S\\sub\\new")}, {At("S\\new")}, {root + "\\s\\SUB"}, {root + "/S/new"}, {At("S\\sub\\..\\x")},
    };
    for (auto& r : rows) {
        g_boxes.clear();
        for (bool copy : {true, false}) {
            EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), r.dest.c_str(), copy), -1) << r.dest;
            EXPECT_EQ(CurrentDir(), root);
        }
        EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, MoveMessage(At("S"), r.dest))) << r.dest;
    }
    EXPECT_FALSE(Exists(At("S\\new")));
    EXPECT_FALSE(Exists(At("S\\sub\\new")));
    EXPECT_FALSE(Exists(At("S\\x")));
    EXPECT_EQ(ReadText(At("S\\sub\\b.txt")), "B");
    // Accented letters match in either case, as the file system matches them.
    MakeDir(At(u8"Ärger"));
    g_boxes.clear();
    EXPECT_EQ(CopyOrMoveTree(At(u8"Ärger").c_str(), (root + u8"\\ärger\\inner").c_str(), true), -1);
    EXPECT_EQ(g_boxes.size(), 1u);
    EXPECT_FALSE(Exists(At(u8"Ärger\\inner")));
    // A sibling that merely shares the prefix is no descendant.
    MakeDir(At("Sx"));
    g_boxes.clear();
    EXPECT_EQ(CopyOrMoveTree(At("S").c_str(), At("Sx").c_str(), true), 0);
    EXPECT_EQ(ReadText(At("Sx\\sub\\b.txt")), "B");
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(Tree, PathsBeyond255CharactersAreRefusedWithAMessage) {
    // S\<long> and D\<long> take 240 characters; with a 15-character name
    // a file path takes 256: it still exists (Windows allows 259), but the
    // walk's 256-byte buffers cannot name it.
    std::string longDir(240 - root.size() - 3, 'L');
    const std::string name = "fifteen-chars.x";
    MakeDir(At("S"));
    MakeDir(At("S\\" + longDir));
    WriteText(At("S\\" + longDir + "\\" + name), "x");
    WriteText(At("S\\short"), "s");
    MakeDir(At("D"));
    std::string longDest = At("D\\" + longDir + "\\" + name);
    ASSERT_EQ(longDest.size(), 256u);
    for (bool copy : {false, true}) {  // the move first: it leaves "short" moved
        g_boxes.clear();
        int result = CopyOrMoveTree(At("S").c_str(), At("D").c_str(), copy);
        if (!copy) {
            EXPECT_EQ(result, -1) << "the long folder stays, so S does";
        }
        ASSERT_EQ(g_boxes.size(), 2u) << copy;
        EXPECT_EQ(g_boxes[0].text, MoveMessage(name, longDest));
        EXPECT_EQ(g_boxes[1].text, MoveMessage(At("S\\" + longDir), At("D\\" + longDir)));
        EXPECT_EQ(ReadText(At("D\\short")), "s");
        EXPECT_EQ(ListNames(At("D\\" + longDir)).size(), 0u);
        EXPECT_EQ(CurrentDir(), root);
    }
}

TEST_F(Delete, RemovesAWholeTreeWithHiddenAndEmptyFolders) {
    MakeDir(At("T"));
    MakeDir(At("T\\a"));
    MakeDir(At("T\\a\\b"));
    MakeDir(At("T\\empty"));
    WriteText(At("T\\f"), "f");
    WriteText(At("T\\a\\b\\g"), "g");
    EXPECT_EQ(DeleteTree(At("T").c_str()), 0);
    EXPECT_FALSE(Exists(At("T")));
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
    EXPECT_NE(DeleteTree(At("T").c_str()), 0) << "a missing folder is no success";
    EXPECT_TRUE(g_boxes.empty());
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Delete, ReadOnlyFileStopsEveryLevel) {
    MakeDir(At("T"));
    MakeDir(At("T\\A"));
    MakeDir(At("T\\A\\B"));
    WriteText(At("T\\A\\B\\ro.txt"), "r");
    platform::SetReadOnly(At("T\\A\\B\\ro.txt").c_str(), true);
    EXPECT_NE(DeleteTree(At("T").c_str()), 0);
    std::vector<std::string> expected = {
        "Cannot delete file \"ro.txt\".",
        "Cannot delete folder \"" + At("T\\A\\B") + "\".",
        "Cannot delete folder \"" + At("T\\A") + "\".",
    };
    EXPECT_EQ(BoxTexts(), expected);
    for (const Box& b : g_boxes) {
        EXPECT_EQ(b.title, "Update Error");
        EXPECT_EQ(b.flags, static_cast<UINT>(MB_OK | MB_ICONERROR));
        EXPECT_EQ(b.owner, nullptr);
    }
    EXPECT_TRUE(Exists(At("T\\A\\B\\ro.txt")));
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Delete, DotNameKeepsItsFolderAndStopsTheWalk) {
    MakeDir(At("T"));
    MakeDir(At("T\\A"));
    WriteText(At("T\\A\\.keep"), "k");
    EXPECT_NE(DeleteTree(At("T").c_str()), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot delete folder \"" + At("T\\A") + "\"."});
    EXPECT_TRUE(Exists(At("T\\A\\.keep")));
    EXPECT_EQ(CurrentDir(), root);
}

TEST_F(Delete, OverLongSubfolderPathIsReportedNotWritten) {
    std::string longDir(254 - root.size(), 'L');
    MakeDir(At("T"));
    MakeDir(At("T\\" + longDir));
    ASSERT_GT(At("T\\" + longDir).size(), 255u);
    EXPECT_NE(DeleteTree(At("T").c_str()), 0);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Cannot delete folder \"" + At("T\\" + longDir) + "\"."});
    EXPECT_TRUE(IsDir(At("T\\" + longDir)));
    EXPECT_EQ(CurrentDir(), root);
}
