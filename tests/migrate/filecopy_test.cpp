// CopyFileUnlessSame and CreateFolderPath.
#include <string>
#include "migrate/tree.h"
#include "platform/file.h"
#include "scratch.h"

using FileCopy = Scratch;
using FolderPath = Scratch;

TEST_F(FileCopy, SameTextsUpToLetterCaseTouchNothing) {
    MakeDir(At("Src"));
    WriteText(At("Src\\a.txt"), "alpha");
    SetWriteTime(At("Src\\a.txt"), 130000000000000000ULL);
    struct { std::string folder, name; } rows[] = {
        {At("Src"), "a.txt"}, {At("SRC"), "A.TXT"}, {At("src"), "a.TXT"},
    };
    for (auto& r : rows) {
        EXPECT_EQ(CopyFileUnlessSame(At("Src").c_str(), "a.txt", r.folder.c_str(), r.name.c_str()), 0) << r.folder;
        EXPECT_EQ(ReadText(At("Src\\a.txt")), "alpha");
        EXPECT_EQ(WriteTime(At("Src\\a.txt")), 130000000000000000ULL) << "touched through " << r.folder;
    }
}

TEST_F(FileCopy, TrailingBackslashCopiesOntoTheSameFileUnchanged) {
    MakeDir(At("Src"));
    std::string content(10000, 'x');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 23);
    WriteText(At("Src\\a.txt"), content);
    std::string slashed = At("Src") + "\\";
    EXPECT_EQ(CopyFileUnlessSame(At("Src").c_str(), "a.txt", slashed.c_str(), "a.txt"), 0);
    EXPECT_EQ(ReadText(At("Src\\a.txt")), content);
}

TEST_F(FileCopy, LongerDestinationIsCutToTheSourceWithItsTimes) {
    MakeDir(At("S"));
    MakeDir(At("D"));
    std::string content(4096 * 2 + 17, 0);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
    WriteText(At("S\\f.bin"), content);
    SetWriteTime(At("S\\f.bin"), 128000000000000000ULL);
    WriteText(At("D\\g.bin"), std::string(20000, 'z'));
    EXPECT_EQ(CopyFileUnlessSame(At("S").c_str(), "f.bin", At("D").c_str(), "g.bin"), 0);
    EXPECT_EQ(ReadText(At("D\\g.bin")), content);
    EXPECT_EQ(WriteTime(At("D\\g.bin")), 128000000000000000ULL);
    // A fresh destination and an empty source.
    WriteText(At("S\\empty"), "");
    EXPECT_EQ(CopyFileUnlessSame(At("S").c_str(), "empty", At("D").c_str(), "new"), 0);
    EXPECT_EQ(ReadText(At("D\\new")), "");
}

TEST_F(FileCopy, FailuresGiveTheirCodesAndWriteNothing) {
    MakeDir(At("S"));
    MakeDir(At("D"));
    WriteText(At("S\\f"), "source");
    WriteText(At("D\\busy"), "in use");
    platform::Handle busy;  // open without write sharing: cannot be written
    ASSERT_TRUE(platform::OpenRead(At("D\\busy").c_str(), busy));
    MakeDir(At("D\\dir"));
    std::string longName(250, 'n');
    struct { std::string sf, sn, df, dn; int code; } rows[] = {
        {At("S"), "missing", At("D"), "x", kFileSourceUnopened},
        {At("S"), "f", At("nowhere"), "x", kFileDestUnopened},
        {At("S"), "f", At("D"), "busy", kFileDestUnopened},
        {At("S"), "f", At("D"), "dir", kFileDestUnopened},
        {At("S"), longName, At("D"), "x", kFileSourceUnopened},
        {At("S"), "f", At("D"), longName, kFileDestUnopened},
    };
    for (auto& r : rows)
        EXPECT_EQ(CopyFileUnlessSame(r.sf.c_str(), r.sn.c_str(), r.df.c_str(), r.dn.c_str()), r.code) << r.sn << " -> " << r.dn;
    EXPECT_EQ(ReadText(At("D\\busy")), "in use");
    EXPECT_FALSE(Exists(At("D\\x")));
    EXPECT_TRUE(g_boxes.empty());
}

TEST_F(FolderPath, MakesMissingParentsAndReportsTheLastAttempt) {
    std::string deep = At("a\\b\\c");
    EXPECT_EQ(CreateFolderPath(deep.c_str()), 0);
    EXPECT_TRUE(IsDir(At("a")));
    EXPECT_TRUE(IsDir(At("a\\b")));
    EXPECT_TRUE(IsDir(deep));
    EXPECT_EQ(CreateFolderPath(deep.c_str()), -1) << "exists already";
    EXPECT_EQ(CreateFolderPath(At("a").c_str()), -1);
    EXPECT_TRUE(ListNames(deep).empty());
    WriteText(At("file"), "x");
    EXPECT_EQ(CreateFolderPath(At("file\\sub").c_str()), -1) << "a file is in the way";
    std::string tooLong = root + "\\" + std::string(300 - root.size(), 'q');
    EXPECT_EQ(CreateFolderPath(tooLong.c_str()), -1);
    EXPECT_EQ(CreateFolderPath(""), -1);
    EXPECT_TRUE(g_boxes.empty());
}
