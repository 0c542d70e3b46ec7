// The sequencer's state machine, tick by tick, with a fake engine program
// started for real as a child process and a stand-in dialog with a real
// progress bar. Migration calls go through the test's own table.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "app/sequencer.h"
#include "common/state.h"
#include "payload/engine.h"
#include "scratch.h"

using scratch::Exists;
using scratch::ReadFile;
using scratch::WriteFile;

// The calls the sequencer made into other folders, in order.
static std::vector<std::string> g_calls;
static bool g_atDefaultPaths = false;
// The dialog to cancel from inside the tree copy, as a user can while one of
// its message boxes is open; null: the copy just returns.
static HWND g_cancelDuringCopy = nullptr;

static void Note(const std::string& call) { g_calls.push_back(call); }

SequencerCalls g_sequencerCalls = {
    [](HWND, const char* from, const char* to) {
        Note(std::string("copy ") + from + " > " + to);
        if (g_cancelDuringCopy) CancelOrQuit(g_cancelDuringCopy);
    },
    [] { Note("isAtDefaultPaths"); return g_atDefaultPaths; },
    [](HWND) {
        Note("relocate");
        std::strcpy(g_state.finalInstallFolder, (std::string(g_state.installFolder) + " new").c_str());
    },
    [] { Note("rename"); },
    [](HWND, const char* folder) { Note(std::string("shortcuts ") + folder); },
    [](HWND, const char* folder) { Note(std::string("registry ") + folder); },
    [] { Note("removeExtracted"); },
    [] { Note("suffix"); g_state.message += " [suffix]"; },
    [] { Note("uninitializeCom"); },
    [](const char* folder) { Note(std::string("editor ") + folder); },
};

static const char* const kFiles[] = {"UpdV1-V1.RTP", "UpdV1-V2.RTP", "UpdV2-V3.RTP"};

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Without a display Wine makes no windows, and every check of the
        // bar and the buttons would fail for that reason alone.
        ASSERT_NE(nullptr, GetDlgItem(dialog_.Get(), 1000)) << "no window: is there an X display?";
        const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        root_ = scratch::ProgramFolder() + "\\scratch-sequencer\\" + name;
        scratch::DeleteTree(root_);
        install_ = root_ + "\\Kestrin 5.0";
        temp_ = root_ + "\\temp dir";
        scratch::MakeFolder(install_);
        scratch::MakeFolder(temp_);
        scratch::MakeFolder(root_ + "\\Vantor");
        ASSERT_TRUE(CopyFileA((scratch::ProgramFolder() + "\\fake_engine.exe").c_str(),
                              Engine().c_str(), FALSE));
        ResetUpdaterState();
        std::strcpy(g_state.installFolder, install_.c_str());
        std::strcpy(g_state.finalInstallFolder, install_.c_str());
        std::strcpy(g_state.sharedFolder, (root_ + "\\Vantor").c_str());
        std::strcpy(g_state.tempFolder, temp_.c_str());
        std::strcpy(g_state.engineProgramPath, Engine().c_str());
        g_calls.clear();
        g_atDefaultPaths = false;
        g_cancelDuringCopy = nullptr;
        for (int i = 0; i < 3; ++i) Step(i, "go", std::string("log of ") + kFiles[i] + "\r\n");
    }

    void TearDown() override {
        // A held child must not outlive its test.
        for (const char* f : kFiles) WriteFile(temp_ + "\\" + f + ".release", "");
        if (g_state.childProcessId) WaitForProcessEnd(g_state.childProcessId, 10000);
        SetCurrentDirectoryA(scratch::ProgramFolder().c_str());
    }

    std::string Engine() const { return temp_ + "\\patch.exe"; }
    std::string InInstall(const char* name) const { return install_ + "\\" + name; }
    // What the fake engine does for step i.
    void Step(int i, const char* mode, const std::string& log) {
        WriteFile(temp_ + "\\" + kFiles[i] + ".fake", std::string(mode) + "\n" + log);
    }
    void Release(int i) { WriteFile(temp_ + "\\" + kFiles[i] + ".release", ""); }
    // Lets the running child end before the next tick looks at it.
    void AwaitChild() { ASSERT_TRUE(WaitForProcessEnd(g_state.childProcessId, 20000)); }
    std::vector<std::string> EngineCalls() const {
        std::vector<std::string> lines;
        std::string all = ReadFile(temp_ + "\\calls.txt");
        for (size_t at = 0, nl; (nl = all.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(all.substr(at, nl - at));
        return lines;
    }
    bool Called(const std::string& call) const {
        for (const auto& c : g_calls) if (c.rfind(call, 0) == 0) return true;
        return false;
    }
    // Ticks until the run is Finished, at most `limit` ticks, letting each
    // child end first. Returns the ticks taken.
    int RunToEnd(int limit = 12) {
        for (int n = 1; n <= limit; ++n) {
            if (g_state.childProcessId) WaitForProcessEnd(g_state.childProcessId, 20000);
            TimerTick(dialog_.Get());
            if (!g_state.running && g_state.childProcessId == 0) return n;
        }
        return -1;
    }
    void ExpectFinalState(const char* messageStart) {
        EXPECT_EQ(0u, g_state.message.find(messageStart)) << g_state.message;
        EXPECT_FALSE(dialog_.Enabled(IDOK));
        EXPECT_TRUE(dialog_.Enabled(IDCANCEL));
        EXPECT_TRUE(dialog_.Enabled(1001));
        EXPECT_EQ("Quit", dialog_.Text(IDCANCEL));
        EXPECT_EQ(0, dialog_.BarPosition());
        EXPECT_FALSE(g_state.running);
        EXPECT_EQ(0u, g_state.childProcessId);
    }
    void ExpectNothingMigrated() {
        EXPECT_FALSE(Called("isAtDefaultPaths"));
        EXPECT_FALSE(Called("rename"));
        EXPECT_FALSE(Called("shortcuts"));
        EXPECT_FALSE(Called("registry"));
    }

    scratch::FakeDialog dialog_;
    std::string root_, install_, temp_;
};

TEST_F(SequencerTest, ThreeStepsTickByTick) {
    WriteFile(InInstall("UnInst.isu"), "x");
    WriteFile(InInstall("KSReg.dat"), "x");
    BeginUpdate(dialog_.Get());
    EXPECT_EQ(0u, g_state.message.find("Now updating the Kestrin installation in folder \"" + install_));
    EXPECT_FALSE(dialog_.Enabled(IDOK));
    EXPECT_FALSE(dialog_.Enabled(1001));
    ASSERT_EQ(1u, g_calls.size());
    EXPECT_EQ("copy " + root_ + "\\Vantor > " + install_, g_calls[0]);
    ASSERT_NE(0u, g_state.childProcessId);  // Started
    EXPECT_FALSE(g_state.running);

    // The child ends before the first tick: that tick only sets running.
    AwaitChild();
    TimerTick(dialog_.Get());
    EXPECT_TRUE(g_state.running);
    EXPECT_EQ(0, g_state.stepIndex);
    EXPECT_TRUE(Exists(InInstall("patch.err")));
    EXPECT_FALSE(Exists(InInstall("RTP3.err")));
    EXPECT_EQ(0, dialog_.BarPosition());

    const char* tags[] = {"RTP3.err", "RTP1.err", "RTP2.err"};
    for (int i = 0; i < 3; ++i) {
        AwaitChild();
        TimerTick(dialog_.Get());
        EXPECT_EQ(std::string("log of ") + kFiles[i] + "\r\n", ReadFile(InInstall(tags[i])));
        if (i < 2) {
            EXPECT_EQ(i + 1, g_state.stepIndex);
            EXPECT_NE(0u, g_state.childProcessId);
            EXPECT_EQ(i + 1, dialog_.BarPosition());
        }
    }
    // Past the end row: Settling, the bar full for one tick.
    EXPECT_EQ(0, g_state.stepIndex);
    EXPECT_EQ(0u, g_state.childProcessId);
    EXPECT_TRUE(g_state.running);
    EXPECT_EQ(250, dialog_.BarPosition());
    EXPECT_FALSE(Called("rename"));

    TimerTick(dialog_.Get());  // completion
    ExpectFinalState("The Kestrin installation in folder \"");
    EXPECT_NE(std::string::npos, g_state.message.find(install_ + "\" has been updated"));
    std::vector<std::string> expected = {
        "copy " + root_ + "\\Vantor > " + install_, "isAtDefaultPaths", "rename",
        "shortcuts " + install_, "registry " + install_};
    EXPECT_EQ(expected, g_calls);
    EXPECT_FALSE(Exists(InInstall("UnInst.isu")));
    EXPECT_FALSE(Exists(InInstall("KSReg.dat")));
    EXPECT_FALSE(Exists(InInstall("patch.err")));

    g_calls.clear();
    TimerTick(dialog_.Get());  // Finished: nothing
    EXPECT_TRUE(g_calls.empty());

    // The engine was started quoted, on bare names, in the install folder, hidden.
    std::vector<std::string> calls = EngineCalls();
    ASSERT_EQ(3u, calls.size());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ("\"" + Engine() + "\" -e -i -v -noc " + kFiles[i] + "|" + install_ + "|show=0",
                  calls[i]);
}

TEST_F(SequencerTest, RelocatedRunReportsTheNewFolder) {
    g_atDefaultPaths = true;
    BeginUpdate(dialog_.Get());
    EXPECT_GT(RunToEnd(), 0);
    std::string moved = install_ + " new";
    std::vector<std::string> expected = {
        "copy " + root_ + "\\Vantor > " + install_, "isAtDefaultPaths", "relocate", "rename",
        "shortcuts " + moved, "registry " + moved};
    EXPECT_EQ(expected, g_calls);
    EXPECT_NE(std::string::npos, g_state.message.find("\"" + moved + "\" has been updated"));
}

TEST_F(SequencerTest, DiagnosticRunShowsEngineAndDeletesLogs) {
    g_state.diagnostic = true;
    WriteFile(InInstall("patchv1-v2.err"), "old");
    BeginUpdate(dialog_.Get());
    EXPECT_EQ(5, RunToEnd());
    EXPECT_FALSE(Exists(InInstall("patchv1-v2.err")));
    EXPECT_FALSE(Exists(InInstall("patch.err")));
    EXPECT_TRUE(Exists(InInstall("RTP2.err")));
    EXPECT_NE(std::string::npos, g_state.message.find("[suffix]"));
    for (const std::string& c : EngineCalls()) EXPECT_NE(std::string::npos, c.find("|show=1"));
}

TEST_F(SequencerTest, FailedStepStopsTheRunAndKeepsItsLog) {
    Step(1, "go", "applying\r\nWPT0036: file changed since the patch was built\r\n");
    BeginUpdate(dialog_.Get());
    RunToEnd();
    std::string log = ReadFile(InInstall("RTP1.err"));
    EXPECT_NE(std::string::npos, log.find("WPT0036"));
    EXPECT_EQ(log, ReadFile(InInstall("patch.err")));  // what the message points at
    EXPECT_EQ(2u, EngineCalls().size());                // step 3 never ran
    EXPECT_FALSE(Exists(InInstall("RTP2.err")));
    EXPECT_EQ(1, g_state.stepIndex);
    ExpectFinalState("The Kestrin installation in folder \"");
    EXPECT_NE(std::string::npos, g_state.message.find("Please refer to the file PATCH.ERR."));
    ExpectNothingMigrated();
    EXPECT_TRUE(Called("editor " + install_));
}

TEST_F(SequencerTest, FailedLastStepFailsTheRun) {
    Step(2, "go", "wpt0036\r\n");
    BeginUpdate(dialog_.Get());
    RunToEnd();
    EXPECT_NE(std::string::npos, g_state.message.find("PATCH.ERR"));
    EXPECT_EQ("wpt0036\r\n", ReadFile(InInstall("patch.err")));
    ExpectNothingMigrated();
}

TEST_F(SequencerTest, ReadOnlyFailedLogStillFails) {
    Step(0, "go readonly", "wPt0036\r\n");
    BeginUpdate(dialog_.Get());
    RunToEnd();
    EXPECT_EQ(1u, EngineCalls().size());
    EXPECT_NE(std::string::npos, g_state.message.find("PATCH.ERR"));
    ExpectNothingMigrated();
}

TEST_F(SequencerTest, FirstStartFailureIsReportedNotHung) {
    std::strcpy(g_state.engineProgramPath, (temp_ + "\\missing.exe").c_str());
    BeginUpdate(dialog_.Get());
    EXPECT_EQ(0u, g_state.childProcessId);
    std::string log = ReadFile(InInstall("patch.err"));
    EXPECT_NE(std::string::npos, log.find("could not be started")) << log;
    EXPECT_NE(std::string::npos, log.find("UpdV1-V1.RTP"));
    EXPECT_NE(std::string::npos, log.find("missing.exe"));
    EXPECT_EQ(2, RunToEnd());  // bar full, then the completion
    ExpectFinalState("The Kestrin installation in folder \"");
    EXPECT_NE(std::string::npos, g_state.message.find("PATCH.ERR"));
    ExpectNothingMigrated();
    EXPECT_TRUE(Called("editor " + install_));
}

TEST_F(SequencerTest, LaterStartFailureFailsTheRun) {
    BeginUpdate(dialog_.Get());
    AwaitChild();
    TimerTick(dialog_.Get());  // running
    ASSERT_TRUE(DeleteFileA(Engine().c_str()));
    TimerTick(dialog_.Get());  // step 1 ends, step 2 cannot start
    EXPECT_EQ(0u, g_state.childProcessId);
    EXPECT_EQ(1, g_state.stepIndex);
    EXPECT_NE(std::string::npos, ReadFile(InInstall("patch.err")).find("UpdV1-V2.RTP"));
    EXPECT_EQ(250, dialog_.BarPosition());  // Settling within the same tick
    EXPECT_EQ(1, RunToEnd());
    EXPECT_NE(std::string::npos, g_state.message.find("PATCH.ERR"));
    ExpectNothingMigrated();
}

TEST_F(SequencerTest, SecondRunStartsAtTheFirstStepAndReplacesOldLogs) {
    BeginUpdate(dialog_.Get());
    AwaitChild();
    TimerTick(dialog_.Get());
    CopyFileA(Engine().c_str(), (temp_ + "\\kept.exe").c_str(), FALSE);
    DeleteFileA(Engine().c_str());
    RunToEnd();  // fails starting step 2
    ASSERT_EQ(1, g_state.stepIndex);

    MoveFileA((temp_ + "\\kept.exe").c_str(), Engine().c_str());
    WriteFile(InInstall("RTP2.err"), "stale log of an earlier run");
    g_calls.clear();
    BeginUpdate(dialog_.Get());
    EXPECT_EQ(0, g_state.stepIndex);
    EXPECT_GT(RunToEnd(), 0);
    std::vector<std::string> calls = EngineCalls();
    ASSERT_EQ(4u, calls.size());
    EXPECT_NE(std::string::npos, calls[1].find("-noc UpdV1-V1.RTP"));
    EXPECT_NE(std::string::npos, calls[3].find("-noc UpdV2-V3.RTP"));
    EXPECT_EQ("log of UpdV2-V3.RTP\r\n", ReadFile(InInstall("RTP2.err")));
    EXPECT_FALSE(Exists(InInstall("patch.err")));  // the failed start's reason is gone
    EXPECT_TRUE(Called("registry"));
}

TEST_F(SequencerTest, StaleFailedLogDoesNotFailANewRun) {
    WriteFile(InInstall("patch.err"), "wpt0036 from last week");
    Step(0, "go", "-");
    Step(1, "go", "-");
    Step(2, "go", "-");
    BeginUpdate(dialog_.Get());
    RunToEnd();
    EXPECT_TRUE(Called("registry"));
    EXPECT_EQ(0u, g_state.message.find("The Kestrin installation in folder"));
    EXPECT_EQ(std::string::npos, g_state.message.find("PATCH.ERR"));
}

TEST_F(SequencerTest, BarWrapsAfter250StepsAndCompletesAtOnceWhenFull) {
    Step(0, "hold", "ok\r\n");
    Step(2, "hold", "ok\r\n");
    BeginUpdate(dialog_.Get());
    TimerTick(dialog_.Get());  // running
    for (int i = 0; i < 250; ++i) TimerTick(dialog_.Get());
    EXPECT_EQ(250, dialog_.BarPosition());
    TimerTick(dialog_.Get());
    EXPECT_LT(dialog_.BarPosition(), 2);  // stepping past 250 starts again
    EXPECT_NE(0u, g_state.childProcessId);

    Release(0);
    AwaitChild();
    TimerTick(dialog_.Get());  // step 1 ends, step 2 starts (it ends at once)
    AwaitChild();
    TimerTick(dialog_.Get());  // step 2 ends, step 3 holds
    int pos = dialog_.BarPosition();
    for (int i = pos; i < 250; ++i) TimerTick(dialog_.Get());
    ASSERT_EQ(250, dialog_.BarPosition());
    Release(2);
    AwaitChild();
    // Stepping had left the bar at exactly 250: the completion runs on this tick.
    TimerTick(dialog_.Get());
    EXPECT_FALSE(g_state.running);
    EXPECT_TRUE(Called("registry"));
}

TEST_F(SequencerTest, CancelDuringAStepEndsTheEngine) {
    Step(0, "hold", "never written\r\n");
    BeginUpdate(dialog_.Get());
    TimerTick(dialog_.Get());
    TimerTick(dialog_.Get());
    DWORD child = g_state.childProcessId;
    ASSERT_TRUE(IsProcessRunning(child));
    CancelOrQuit(dialog_.Get());
    EXPECT_FALSE(IsProcessRunning(child));
    EXPECT_EQ(0u, g_state.childProcessId);
    std::vector<std::string> expected = {"removeExtracted", "uninitializeCom"};
    EXPECT_EQ(expected, std::vector<std::string>(g_calls.begin() + 1, g_calls.end()));
    EXPECT_FALSE(Exists(InInstall("patch.err")));
    // The program file is free again: nothing holds it open.
    EXPECT_TRUE(DeleteFileA(Engine().c_str()));
}

TEST_F(SequencerTest, QuitAfterTheRunOnlyCleansUp) {
    BeginUpdate(dialog_.Get());
    RunToEnd();
    g_calls.clear();
    CancelOrQuit(dialog_.Get());
    std::vector<std::string> expected = {"removeExtracted", "uninitializeCom"};
    EXPECT_EQ(expected, g_calls);
}

TEST_F(SequencerTest, TicksBeforeBeginDoNothing) {
    for (int i = 0; i < 3; ++i) TimerTick(dialog_.Get());
    EXPECT_FALSE(g_state.running);
    EXPECT_TRUE(g_calls.empty());
    EXPECT_EQ(0, dialog_.BarPosition());
}

// Runs last: after it the sequencer is quitting, as the process would be.
TEST_F(SequencerTest, ZzCancelDuringTheTreeCopyStartsNoEngine) {
    g_cancelDuringCopy = dialog_.Get();
    BeginUpdate(dialog_.Get());
    EXPECT_EQ(0u, g_state.childProcessId);
    EXPECT_FALSE(g_state.running);
    EXPECT_FALSE(Exists(temp_ + "\\calls.txt"));
    EXPECT_FALSE(Exists(InInstall("patch.err")));
    std::vector<std::string> expected = {"removeExtracted", "uninitializeCom"};
    EXPECT_EQ(expected, std::vector<std::string>(g_calls.begin() + 1, g_calls.end()));
}
