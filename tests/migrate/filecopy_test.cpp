// CopyFileUnlessSame and CreateFolderPath.
#include <string>
#include "migrate/tree.h"
#include "platform/file.h"
#include "platform/file_replace.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "scratch.h"

using namespace migrate;

using FileCopy = Scratch;
using FolderPath = Scratch;

constexpr FileCopyResult kCopied = FileCopyResult::kCopied;

// Every spelling of the source itself, and a second name of it (a hard
// link), leaves it untouched: a copy would put a new file in place and so
// part the source from its other name "Src\link".
TEST_F(FileCopy, OntoItselfTouchesNothing) {
    std::string content(10000, 'x');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>('a' + i % 23);
    MakeTree(root, {"Src\\", "Src\\a.txt=" + content});
    MakeFileLink(At("Src\\link"), At("Src\\a.txt"), false);
    SetWriteTime(At("Src\\a.txt"), 130000000000000000ULL);
    for (std::string to : {At("Src\\a.txt"), At("SRC\\A.TXT"), At("src\\a.TXT"), At("Src\\\\a.txt"), At("Src\\link")}) {
        EXPECT_EQ(CopyFileUnlessSame(At("Src\\a.txt"), to), kCopied) << to;
        bool same = false;
        EXPECT_TRUE(platform::SameFile(At("Src\\a.txt").c_str(), At("Src\\link").c_str(), &same) && same) << to;
        EXPECT_EQ(ReadText(At("Src\\a.txt")), content) << to;
        EXPECT_EQ(WriteTime(At("Src\\a.txt")), 130000000000000000ULL) << to;
        EXPECT_EQ(ListNames(At("Src")), (Names{"a.txt", "link"})) << to;
    }
}

// Whatever is at the destination's name, the name ends up with the source's
// bytes and times, and nothing else is written: not a file that name was a
// hard link or a symbolic link to (the user's files outside, "User\"), and
// no work file stays ("stale.~dvcopy" is one left by a copy cut off).
// Under Wine a symbolic link to a file is a host link, which Wine shows as
// the file it leads to: the row shows that the file outside keeps its bytes
// while the name gets the copy; it cannot show a reparse point at that name.
TEST_F(FileCopy, TheDestinationNameGetsTheCopyAndNothingIsWrittenThroughIt) {
    std::string content(4096 * 2 + 17, 0);
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
    const std::string longName(250, 'n');  // with ".~dvcopy" past 255: the work file takes a short name
    MakeTree(root, {"S\\", "D\\", "User\\", "S\\f.bin=" + content, "S\\empty=", "S\\" + longName + "=long",
                    "D\\longer=" + std::string(20000, 'z'), "D\\stale=old", "D\\stale.~dvcopy=cut off",
                    "User\\hard=dear", "User\\soft=dear"});
    MakeFileLink(At("D\\hard"), At("User\\hard"), false);
    MakeFileLink(At("D\\soft"), At("User\\soft"), true);
    SetWriteTime(At("S\\f.bin"), 128000000000000000ULL);
    // clang-format off
    struct { std::string from, to; } rows[] = {
        {"f.bin", "new"}, {"empty", "empty"}, {"f.bin", "longer"}, {"f.bin", "stale"}, {longName, longName},
        {"f.bin", "hard"}, {"f.bin", "soft"},
    };
    // clang-format on
    for (auto& r : rows) {
        EXPECT_EQ(CopyFileUnlessSame(At("S\\" + r.from), At("D\\" + r.to)), kCopied) << r.to;
        EXPECT_EQ(ReadText(At("D\\" + r.to)), ReadText(At("S\\" + r.from))) << r.to;
        EXPECT_EQ(WriteTime(At("D\\" + r.to)), WriteTime(At("S\\" + r.from))) << r.to;
    }
    EXPECT_EQ(ReadText(At("User\\hard")), "dear") << "written through a hard link";
    EXPECT_EQ(ReadText(At("User\\soft")), "dear") << "written through a symbolic link";
    EXPECT_EQ(ListNames(At("D")), (Names{"empty", "hard", "longer", "new", longName, "soft", "stale"}));
}

TEST_F(FileCopy, FailuresGiveTheirResultsAndWriteNothing) {
    MakeTree(root, {"S\\", "D\\", "D\\dir\\", "S\\f=source", "D\\busy=in use"});
    platform::Handle busy;  // open without delete sharing: cannot be replaced
    ASSERT_TRUE(platform::OpenRead(At("D\\busy").c_str(), busy));
    const auto kSource = FileCopyResult::kSourceUnopened, kDest = FileCopyResult::kDestUnopened;
    // clang-format off
    struct { std::string from, to; FileCopyResult result; } rows[] = {
        {"S\\missing", "D\\x", kSource}, {"S\\f", "nowhere\\x", kDest}, {"S\\f", "D\\busy", kDest},
        {"S\\f", "D\\dir", kDest}, {"S\\f", "D\\" + std::string(256, 'n'), kDest},
    };
    // clang-format on
    for (auto& r : rows) EXPECT_EQ(CopyFileUnlessSame(At(r.from), At(r.to)), r.result) << r.to;
    EXPECT_EQ(ReadText(At("D\\busy")), "in use");
    EXPECT_EQ(ListNames(At("D")), (Names{"busy", "dir"}));
}

TEST_F(FolderPath, MakesMissingParentsAndSaysWhetherTheFolderIsThere) {
    WriteText(At("file"), "x");
    const std::string deep = At(std::string(200, 'q') + "\\" + std::string(200, 'r'));  // past MAX_PATH
    // clang-format off
    struct { std::string path; bool there; } rows[] = {
        {At("a\\b\\c"), true}, {At("a\\b\\c"), true}, {At("a"), true}, {At("file\\sub"), false},
        {At(std::string(256, 'q')), false}, {deep, true}, {"", false},
    };
    // clang-format on
    for (auto& r : rows) EXPECT_EQ(CreateFolderPath(r.path), r.there) << r.path;
    EXPECT_TRUE(IsDir(At("a\\b\\c")));
    EXPECT_TRUE(ListNames(At("a\\b\\c")).empty());
    EXPECT_TRUE(IsDir(deep));
}

// A hold of a moment (a scanner, the shell reading a link) is waited out; a
// hold that stays is the move's error, and the file it holds keeps its bytes.
TEST_F(FileCopy, AReplacingMoveWaitsOutAMomentaryHold) {
    MakeTree(root, {"new=fresh", "old=kept", "again=second"});
    platform::Handle held, release;
    ASSERT_TRUE(platform::OpenRead(At("old").c_str(), held));
    ASSERT_TRUE(platform::StartThread(
        [&held] {
            Sleep(150);
            held.Reset();
        },
        release));
    EXPECT_TRUE(platform::MoveFileReplacing(At("new").c_str(), At("old").c_str()));
    platform::WaitProcessEnd(release.Get(), 5000);
    EXPECT_EQ(ReadText(At("old")), "fresh");
    ASSERT_TRUE(platform::OpenRead(At("old").c_str(), held));
    EXPECT_FALSE(platform::MoveFileReplacing(At("again").c_str(), At("old").c_str()));
    DWORD error = ::GetLastError();
    EXPECT_TRUE(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) << error;
    EXPECT_EQ(ReadText(At("old")), "fresh");
}
