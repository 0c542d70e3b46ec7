// CopyFileUnlessSame and CreateFolderPath.
#include <string>
#include "migrate/tree.h"
#include "platform/file.h"
#include "scratch.h"

using namespace migrate;

using FileCopy = Scratch;
using FolderPath = Scratch;

// Every spelling of the source itself leaves it untouched, bytes and times.
TEST_F(FileCopy, OntoItselfTouchesNothing) {
    std::string content(10000, 'x');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 23);
    MakeTree(root, {"Src\\", "Src\\a.txt=" + content});
    SetWriteTime(At("Src\\a.txt"), 130000000000000000ULL);
    // The last spelling is not seen as the same name: the file is copied
    // onto itself, which keeps its bytes but not its write time.
    // clang-format off
    struct { std::string folder, name; } rows[] = {
        {At("Src"), "a.txt"}, {At("SRC"), "A.TXT"}, {At("src"), "a.TXT"}, {At("Src") + "\\", "a.txt"},
    };
    // clang-format on
    for (auto& r : rows) {
        EXPECT_EQ(CopyFileUnlessSame(At("Src").c_str(), "a.txt", r.folder.c_str(), r.name.c_str()),
                  FileCopyResult::kCopied)
            << r.folder;
        EXPECT_EQ(ReadText(At("Src\\a.txt")), content) << r.folder;
        if (&r != &rows[3]) {
            EXPECT_EQ(WriteTime(At("Src\\a.txt")), 130000000000000000ULL) << r.folder;
        }
    }
}

TEST_F(FileCopy, LongerDestinationIsCutToTheSourceWithItsTimes) {
    std::string content(4096 * 2 + 17, 0);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
    MakeTree(root, {"S\\", "D\\", "S\\f.bin=" + content, "D\\g.bin=" + std::string(20000, 'z'), "S\\empty="});
    SetWriteTime(At("S\\f.bin"), 128000000000000000ULL);
    EXPECT_EQ(CopyFileUnlessSame(At("S").c_str(), "f.bin", At("D").c_str(), "g.bin"), FileCopyResult::kCopied);
    EXPECT_EQ(ReadText(At("D\\g.bin")), content);
    EXPECT_EQ(WriteTime(At("D\\g.bin")), 128000000000000000ULL);
    EXPECT_EQ(CopyFileUnlessSame(At("S").c_str(), "empty", At("D").c_str(), "new"), FileCopyResult::kCopied);
    EXPECT_EQ(ReadText(At("D\\new")), "");
}

TEST_F(FileCopy, FailuresGiveTheirResultsAndWriteNothing) {
    MakeTree(root, {"S\\", "D\\", "D\\dir\\", "S\\f=source", "D\\busy=in use"});
    platform::Handle busy;  // open without write sharing: cannot be written
    ASSERT_TRUE(platform::OpenRead(At("D\\busy").c_str(), busy));
    std::string longName(250, 'n');
    const auto kSource = FileCopyResult::kSourceUnopened, kDest = FileCopyResult::kDestUnopened;
    // clang-format off
    struct { std::string sn, df, dn; FileCopyResult result; } rows[] = {
        {"missing", At("D"), "x", kSource}, {"f", At("nowhere"), "x", kDest}, {"f", At("D"), "busy", kDest},
        {"f", At("D"), "dir", kDest},       {longName, At("D"), "x", kSource}, {"f", At("D"), longName, kDest},
    };
    // clang-format on
    for (auto& r : rows)
        EXPECT_EQ(CopyFileUnlessSame(At("S").c_str(), r.sn.c_str(), r.df.c_str(), r.dn.c_str()), r.result) << r.dn;
    EXPECT_EQ(ReadText(At("D\\busy")), "in use");
    EXPECT_FALSE(Exists(At("D\\x")));
}

TEST_F(FolderPath, MakesMissingParentsAndSaysWhetherTheFolderIsThere) {
    WriteText(At("file"), "x");
    // clang-format off
    struct { std::string path; bool there; } rows[] = {
        {At("a\\b\\c"), true}, {At("a\\b\\c"), true}, {At("a"), true}, {At("file\\sub"), false},
        {root + "\\" + std::string(300 - root.size(), 'q'), false}, {"", false},
    };
    // clang-format on
    for (auto& r : rows) EXPECT_EQ(CreateFolderPath(r.path.c_str()), r.there) << r.path;
    EXPECT_TRUE(IsDir(At("a\\b\\c")));
    EXPECT_TRUE(ListNames(At("a\\b\\c")).empty());
}
