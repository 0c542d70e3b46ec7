// The sequencer's parts on their own: the log judge, the engine's command
// line, and the child-process operations.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "app/sequencer.h"
#include "common/state.h"
#include "payload/engine.h"
#include "scratch.h"

// Nothing here runs a whole update; the table only has to exist.
SequencerCalls g_sequencerCalls = {
    [](HWND, const char*, const char*) {}, [] { return false; }, [](HWND) {}, [] {},
    [](HWND, const char*) {}, [](HWND, const char*) {}, [] {}, [] {}, [] {}, [](const char*) {},
};

class PartsTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        root_ = scratch::ProgramFolder() + "\\scratch-parts\\" + name;
        scratch::DeleteTree(root_);
        scratch::MakeFolder(root_);
    }
    std::string root_;
};

struct CountCase {
    std::string content;
    const char* text;
    bool caseSensitive;
    int expected;
};

TEST_F(PartsTest, CountTextInFileTable) {
    const CountCase cases[] = {
        {"", "wpt0036", false, 0},
        {"wpt0036", "wpt0036", false, 1},
        {"WPT0036", "wpt0036", false, 1},
        {"Wpt0036 and wPT0036", "wpt0036", false, 2},
        {"WPT0036", "wpt0036", true, 0},
        {"wpt0036 WPT0036", "wpt0036", true, 1},
        {"wpt003", "wpt0036", false, 0},
        {"aaaa", "aa", true, 2},    // non-overlapping
        {"aaa", "aa", true, 1},
        {"abababa", "aba", false, 2},
        {std::string("ok\0wpt0036", 10), "wpt0036", false, 1},  // after a NUL
        {std::string("wpt0036\0\0WPT0036\0", 17), "wpt0036", false, 2},
        {std::string("wpt\0" "0036", 8), "wpt0036", false, 0},  // no match across a NUL
        {"line 1\r\nerror wpt0036: bad\r\n", "wpt0036", false, 1},
        {"\xe9wpt0036\xff", "WPT0036", false, 1},
        {"x", "", false, 0},                                     // empty text
    };
    int n = 0;
    for (const CountCase& c : cases) {
        std::string path = root_ + "\\log" + std::to_string(n++) + ".err";
        scratch::WriteFile(path, c.content);
        EXPECT_EQ(c.expected, CountTextInFile(path.c_str(), c.text, c.caseSensitive))
            << "case " << n - 1;
    }
}

TEST_F(PartsTest, CountTextInFileReadsReadOnlyLogs) {
    std::string path = root_ + "\\patch.err";
    scratch::WriteFile(path, "WPT0036");
    scratch::SetReadOnly(path, true);
    EXPECT_EQ(1, CountTextInFile(path.c_str(), "wpt0036", false));
    scratch::SetReadOnly(path, false);
}

TEST_F(PartsTest, CountTextInFileMissingFileCountsNothing) {
    EXPECT_EQ(0, CountTextInFile((root_ + "\\none.err").c_str(), "wpt0036", false));
    EXPECT_EQ(0, CountTextInFile(root_.c_str(), "wpt0036", false));  // a folder
}

TEST_F(PartsTest, CountTextInFileLargeLog) {
    std::string big(3 * 1024 * 1024, 'w');
    big.replace(100, 7, "wpt0036");
    big.replace(big.size() - 7, 7, "WPT0036");
    std::string path = root_ + "\\big.err";
    scratch::WriteFile(path, big);
    EXPECT_EQ(2, CountTextInFile(path.c_str(), "wpt0036", false));
}

TEST(EngineCommand, QuotesTheProgramPath) {
    char line[kEngineCommandCap];
    ASSERT_TRUE(ComposeEngineCommand(line, sizeof line, "C:\\Temp Dir\\patch.exe", "UpdV1-V1.RTP"));
    EXPECT_STREQ("\"C:\\Temp Dir\\patch.exe\" -e -i -v -noc UpdV1-V1.RTP", line);
}

TEST(EngineCommand, RefusesALineThatDoesNotFit) {
    const std::string name = "UpdV1-V1.RTP";
    const size_t fixed = 2 + std::strlen(" -e -i -v -noc ") + name.size() + 1;
    std::string program(kEngineCommandCap - fixed, 'p');
    char line[kEngineCommandCap];
    EXPECT_TRUE(ComposeEngineCommand(line, sizeof line, program.c_str(), name.c_str()));
    EXPECT_EQ(kEngineCommandCap - 1, std::strlen(line));
    program += 'p';
    std::memset(line, 'x', sizeof line);
    EXPECT_FALSE(ComposeEngineCommand(line, sizeof line, program.c_str(), name.c_str()));
    EXPECT_EQ('\0', line[0]);
    EXPECT_FALSE(ComposeEngineCommand(line, 0, "p", "f"));
}

TEST_F(PartsTest, RunningChildIsSeenAndEnded) {
    std::string engine = root_ + "\\temp dir\\patch.exe";
    scratch::MakeFolder(root_ + "\\temp dir");
    ASSERT_TRUE(CopyFileA((scratch::ProgramFolder() + "\\fake_engine.exe").c_str(), engine.c_str(), FALSE));
    scratch::WriteFile(root_ + "\\temp dir\\held.RTP.fake", "hold\nok");
    ResetUpdaterState();
    std::strcpy(g_state.engineProgramPath, engine.c_str());

    DWORD pid = LaunchPatchEngine("held.RTP", root_.c_str());
    ASSERT_NE(0u, pid);
    EXPECT_TRUE(IsProcessRunning(pid));
    TerminateProcessById(pid);
    EXPECT_TRUE(WaitForProcessEnd(pid, 10000));
    EXPECT_FALSE(IsProcessRunning(pid));
    EXPECT_FALSE(scratch::Exists(root_ + "\\patch.err"));  // killed before it wrote
}

TEST_F(PartsTest, ExitedChildIsNotRunning) {
    std::string engine = root_ + "\\patch.exe";
    ASSERT_TRUE(CopyFileA((scratch::ProgramFolder() + "\\fake_engine.exe").c_str(), engine.c_str(), FALSE));
    scratch::WriteFile(root_ + "\\quick.RTP.fake", "go\ndone");
    ResetUpdaterState();
    std::strcpy(g_state.engineProgramPath, engine.c_str());
    DWORD pid = LaunchPatchEngine("quick.RTP", root_.c_str());
    ASSERT_NE(0u, pid);
    ASSERT_TRUE(WaitForProcessEnd(pid, 10000));
    EXPECT_FALSE(IsProcessRunning(pid));
    EXPECT_EQ("done", scratch::ReadFile(root_ + "\\patch.err"));
}

TEST(ProcessById, NoneAndUnknownIds) {
    EXPECT_FALSE(IsProcessRunning(0));
    EXPECT_FALSE(IsProcessRunning(0xFFFFFFF0u));
    TerminateProcessById(0);
    TerminateProcessById(0xFFFFFFF0u);
    EXPECT_TRUE(WaitForProcessEnd(0xFFFFFFF0u, 0));
}

TEST(LaunchPatchEngine, MissingProgramGivesZero) {
    ResetUpdaterState();
    std::strcpy(g_state.engineProgramPath, "C:\\no such folder\\patch.exe");
    EXPECT_EQ(0u, LaunchPatchEngine("UpdV1-V1.RTP", "C:\\"));
}
