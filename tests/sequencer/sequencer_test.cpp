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
#include "platform/msgbox.h"
#include "platform/file.h"
#include "platform/process.h"
#include "scratch.h"

using namespace app;
using namespace common;
using namespace payload;

// The calls the sequencer made into other folders, in order.
static std::vector<std::string> g_calls;
static bool g_atDefaultPaths = false;
// The dialog to cancel from inside the tree copy or the relocation, as a
// user could while one of their boxes is open; null: they just return.
static HWND g_cancelDuringCopy = nullptr;
static HWND g_cancelDuringRelocation = nullptr;
static bool g_copyFails = false;

// Boxes are answered at once and noted as "box <text>".
static int NoteBox(HWND, const char* text, const char*, UINT) {
    g_calls.push_back(std::string("box ") + text);
    return IDOK;
}

static bool Note(const std::string& call) {
    g_calls.push_back(call);
    return true;
}

SequencerCalls app::g_sequencerCalls = {
    [](HWND, const char* from, const char* to) {
        if (g_cancelDuringCopy) CancelOrQuit(g_cancelDuringCopy);
        return Note(std::string("copy ") + from + " > " + to) && !g_copyFails;
    },
    [](const char*, const char*) { return Note("isAtDefaultPaths") && g_atDefaultPaths; },
    [](HWND) {
        std::strcpy(g_state.finalInstallFolder, (std::string(g_state.installFolder) + " new").c_str());
        if (g_cancelDuringRelocation) CancelOrQuit(g_cancelDuringRelocation);
        return Note("relocate");
    },
    [](const char*, const char*) { return Note("rename"); },
    [](HWND, const char* folder) { return Note(std::string("shortcuts ") + folder); },
    [](HWND, const char* folder) { return Note(std::string("registry ") + folder); },
    [](const char* folder) { Note(std::string("editor ") + folder); },
};

static const char* const kFiles[] = {"UpdV1-V1.RTP", "UpdV1-V2.RTP", "UpdV2-V3.RTP"};
static const char kDone[] = "applied\r\nupdate complete\r\n";

class SequencerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Without a display Wine makes no windows, and every check of the
        // bar and the buttons would fail for that reason alone.
        ASSERT_NE(nullptr, GetDlgItem(dialog_.Get(), 1000)) << "no window: is there an X display?";
        const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        root_ = ProgramFolder() + "\\scratch-sequencer\\" + name;
        RemoveAll(root_);
        install_ = root_ + "\\Kestrin 5.0";
        temp_ = root_ + "\\temp dir";
        MakeDir(install_);
        MakeDir(temp_);
        MakeDir(root_ + "\\Vantor");
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\fake_engine.exe").c_str(), Engine().c_str(), FALSE));
        ResetUpdaterState();
        std::strcpy(g_state.installFolder, install_.c_str());
        std::strcpy(g_state.finalInstallFolder, install_.c_str());
        std::strcpy(g_state.sharedFolder, (root_ + "\\Vantor").c_str());
        std::strcpy(g_state.tempFolder, temp_.c_str());
        std::strcpy(g_state.engineProgramPath, Engine().c_str());
        g_state.payloadReady = true;
        platform::SetMessageHook(NoteBox);
        g_calls.clear();
        g_atDefaultPaths = false;
        g_cancelDuringCopy = g_cancelDuringRelocation = nullptr;
        for (int i = 0; i < 3; ++i) Step(i, "go", std::string("log of ") + kFiles[i] + "\r\n" + kDone);
    }

    void TearDown() override {
        // A held child must not outlive its test.
        for (const char* f : kFiles) WriteText(temp_ + "\\" + f + ".release", "");
        if (g_state.child.Valid()) platform::WaitProcessEnd(g_state.child.Get(), 10000);
        ResetUpdaterState();
        SetCurrentDirectoryA(ProgramFolder().c_str());
    }

    std::string Engine() const { return temp_ + "\\patch.exe"; }
    std::string InInstall(const char* name) const { return install_ + "\\" + name; }
    // What the fake engine does for step i.
    void Step(int i, const std::string& mode, const std::string& log) {
        WriteText(temp_ + "\\" + kFiles[i] + ".fake", mode + "\n" + log);
    }
    void Release(int i) { WriteText(temp_ + "\\" + kFiles[i] + ".release", ""); }
    // Lets the running child end before the next tick looks at it.
    void AwaitChild() { ASSERT_TRUE(platform::WaitProcessEnd(g_state.child.Get(), 20000)); }
    std::vector<std::string> EngineCalls() const {
        std::vector<std::string> lines;
        std::string all = ReadText(temp_ + "\\calls.txt");
        for (size_t at = 0, nl; (nl = all.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(all.substr(at, nl - at));
        return lines;
    }
    bool Called(const std::string& call) const {
        for (const auto& c : g_calls)
            if (c.rfind(call, 0) == 0) return true;
        return false;
    }
    // Ticks until the run is Finished, at most `limit` ticks, letting each
    // child end first. Returns the ticks taken.
    int RunToEnd(int limit = 12) {
        for (int n = 1; n <= limit; ++n) {
            if (g_state.child.Valid()) platform::WaitProcessEnd(g_state.child.Get(), 20000);
            TimerTick(dialog_.Get());
            if (!g_state.running && !g_state.child.Valid()) return n;
        }
        return -1;
    }
    void ExpectFinalState(const char* messagePart) {
        EXPECT_NE(std::string::npos, g_state.message.find(messagePart)) << g_state.message;
        EXPECT_FALSE(dialog_.Enabled(IDOK));
        EXPECT_TRUE(dialog_.Enabled(IDCANCEL));
        EXPECT_TRUE(dialog_.Enabled(1001));
        EXPECT_EQ("Quit", dialog_.Text(IDCANCEL));
        EXPECT_EQ(0, dialog_.BarPosition());
        EXPECT_FALSE(g_state.running);
        EXPECT_FALSE(g_state.child.Valid());
    }
    void ExpectNothingMigrated() {
        EXPECT_FALSE(Called("rename"));
        EXPECT_FALSE(Called("shortcuts"));
        EXPECT_FALSE(Called("registry"));
    }

    FakeDialog dialog_;
    std::string root_, install_, temp_;
};

TEST_F(SequencerTest, ThreeStepsTickByTick) {
    WriteText(InInstall("UnInst.isu"), "x");
    WriteText(InInstall("KSReg.dat"), "x");
    BeginUpdate(dialog_.Get());
    EXPECT_EQ(0u, g_state.message.find("Now updating the Kestrin installation in folder \"" + install_));
    EXPECT_FALSE(dialog_.Enabled(IDOK));
    EXPECT_FALSE(dialog_.Enabled(1001));
    ASSERT_TRUE(g_state.child.Valid());  // Started
    EXPECT_FALSE(g_state.running);

    // The child ends before the first tick: that tick only sets running.
    AwaitChild();
    TimerTick(dialog_.Get());
    EXPECT_TRUE(g_state.running);
    EXPECT_FALSE(Exists(InInstall("RTP3.err")));

    const char* tags[] = {"RTP3.err", "RTP1.err", "RTP2.err"};
    for (int i = 0; i < 3; ++i) {
        AwaitChild();
        TimerTick(dialog_.Get());
        EXPECT_EQ(std::string("log of ") + kFiles[i] + "\r\n" + kDone, ReadText(InInstall(tags[i])));
        if (i < 2) {
            EXPECT_EQ(i + 1, dialog_.BarPosition());
        }
    }
    // Past the last step: Settling, the bar full for one tick.
    EXPECT_FALSE(g_state.child.Valid());
    EXPECT_EQ(250, dialog_.BarPosition());
    EXPECT_FALSE(Called("rename"));

    TimerTick(dialog_.Get());  // completion
    ExpectFinalState((install_ + "\" has been updated").c_str());
    EXPECT_EQ(Ending::kUpdated, g_state.ending);
    std::vector<std::string> expected = {"copy " + root_ + "\\Vantor > " + install_, "isAtDefaultPaths", "rename",
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
        EXPECT_EQ("\"" + Engine() + "\" -e -i -v -noc " + kFiles[i] + "|" + install_ + "|show=0", calls[i]);
}

// A step counts as done only when the engine's exit code and its own log
// both say so; anything else stops the run before the next step.
TEST_F(SequencerTest, StepVerdictTable) {
    struct Row {
        const char* mode;
        std::string log;
        bool succeeds;
    };
    const Row rows[] = {
        {"go", kDone, true},
        {"go", std::string("x\0", 2) + "WPT0036 changed\r\n" + kDone, false},  // after a NUL too
        {"go readonly", "wPt0036\r\n", false},
        {"go", "-", false},             // no log at all
        {"go exit=1", kDone, false},    // the exit code says no
        {"go", "applied\r\n", false},   // no completion line
        {"go exit=259", kDone, false},  // the code that means "still active"
    };
    for (const Row& r : rows) {
        SetUp();
        Step(1, r.mode, r.log);
        BeginUpdate(dialog_.Get());
        EXPECT_GT(RunToEnd(), 0);
        SCOPED_TRACE(std::string(r.mode) + " [" + r.log + "]");
        EXPECT_EQ(r.succeeds, Called("registry"));
        EXPECT_EQ(r.succeeds ? 3u : 2u, EngineCalls().size());  // step 3 never ran after a failure
        if (!r.succeeds) {
            ExpectFinalState("Please refer to the file PATCH.ERR.");
            EXPECT_EQ(Ending::kPatchFailed, g_state.ending);
            EXPECT_TRUE(Called("editor " + install_));
            EXPECT_TRUE(Exists(InInstall("patch.err")));  // what the message points at
        }
        TearDown();
    }
}

// A log of an earlier run is never judged: a read-only one is cleared, and
// one that cannot be cleared fails the run before any engine starts.
TEST_F(SequencerTest, StaleReadOnlyLogIsClearedOrFailsTheRun) {
    WriteText(InInstall("patch.err"), kDone);
    platform::SetReadOnly(InInstall("patch.err").c_str(), true);
    BeginUpdate(dialog_.Get());
    RunToEnd();
    EXPECT_TRUE(Called("registry"));

    SetUp();
    Step(0, "go", "-");  // an engine that writes nothing must not inherit the old verdict
    WriteText(InInstall("patch.err"), kDone);
    platform::SetReadOnly(InInstall("patch.err").c_str(), true);
    BeginUpdate(dialog_.Get());
    RunToEnd();
    ExpectNothingMigrated();
    EXPECT_EQ(Ending::kPatchFailed, g_state.ending);

    SetUp();
    HANDLE held = CreateFileA(InInstall("patch.err").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    BeginUpdate(dialog_.Get());
    EXPECT_FALSE(g_state.child.Valid());
    RunToEnd();
    CloseHandle(held);
    EXPECT_TRUE(EngineCalls().empty());
    EXPECT_TRUE(Called("box The log \"patch.err\" of an earlier run"));
    ExpectNothingMigrated();
}

TEST_F(SequencerTest, StartFailuresAreReportedNotHung) {
    std::strcpy(g_state.engineProgramPath, (temp_ + "\\missing.exe").c_str());
    BeginUpdate(dialog_.Get());
    EXPECT_FALSE(g_state.child.Valid());
    std::string log = ReadText(InInstall("patch.err"));
    EXPECT_NE(std::string::npos, log.find("could not be started")) << log;
    EXPECT_NE(std::string::npos, log.find("UpdV1-V1.RTP"));
    EXPECT_EQ(2, RunToEnd());  // bar full, then the completion
    ExpectFinalState("PATCH.ERR");
    ExpectNothingMigrated();

    // A later step that cannot start fails the run; a second run starts at
    // the first step again.
    SetUp();
    BeginUpdate(dialog_.Get());
    AwaitChild();
    TimerTick(dialog_.Get());  // running
    CopyFileA(Engine().c_str(), (temp_ + "\\kept.exe").c_str(), FALSE);
    ASSERT_TRUE(DeleteFileA(Engine().c_str()));
    RunToEnd();
    EXPECT_NE(std::string::npos, ReadText(InInstall("patch.err")).find("UpdV1-V2.RTP"));
    ExpectNothingMigrated();
    MoveFileA((temp_ + "\\kept.exe").c_str(), Engine().c_str());
    BeginUpdate(dialog_.Get());
    EXPECT_GT(RunToEnd(), 0);
    std::vector<std::string> calls = EngineCalls();
    ASSERT_EQ(4u, calls.size());
    EXPECT_NE(std::string::npos, calls[1].find("-noc UpdV1-V1.RTP"));
    EXPECT_TRUE(Called("registry"));
}

// Without a payload (an "Initialization error" start-up) nothing can begin.
TEST_F(SequencerTest, NoPayloadNoRun) {
    g_state.payloadReady = false;
    BeginUpdate(dialog_.Get());
    EXPECT_TRUE(g_calls.empty());
    EXPECT_FALSE(g_state.child.Valid());
    EXPECT_FALSE(g_state.running);
}

TEST_F(SequencerTest, RelocatedDiagnosticRun) {
    g_atDefaultPaths = true;
    g_state.diagnostic = true;
    WriteText(InInstall("patchv1-v2.err"), "old");
    BeginUpdate(dialog_.Get());
    EXPECT_EQ(5, RunToEnd());
    std::string moved = install_ + " new";
    std::vector<std::string> expected = {"copy " + root_ + "\\Vantor > " + install_,
                                         "isAtDefaultPaths",
                                         "relocate",
                                         "rename",
                                         "shortcuts " + moved,
                                         "registry " + moved};
    EXPECT_EQ(expected, g_calls);
    EXPECT_NE(std::string::npos, g_state.message.find("\"" + moved + "\" has been updated"));
    EXPECT_NE(std::string::npos, g_state.message.find("(Vantor folder is"));
    for (const std::string& c : EngineCalls()) EXPECT_NE(std::string::npos, c.find("|show=1"));
    EXPECT_EQ(Ending::kUpdated, g_state.ending);
}

// A shared folder not copied whole: the update goes on, but ends as not clean.
TEST_F(SequencerTest, AnIncompleteCopyOfTheSharedFolderIsNoCleanUpdate) {
    g_copyFails = true;
    BeginUpdate(dialog_.Get());
    RunToEnd();
    g_copyFails = false;
    EXPECT_TRUE(Called("registry " + install_));
    EXPECT_EQ(Ending::kMigrationFailed, g_state.ending);
}

// Cancel at any moment: nothing starts or runs after it, a running engine is
// ended through its handle, and the run ends as cancelled.
TEST_F(SequencerTest, CancelAtEveryStage) {
    Step(0, "hold", kDone);
    BeginUpdate(dialog_.Get());
    TimerTick(dialog_.Get());
    TimerTick(dialog_.Get());
    HANDLE child = g_state.child.Get();
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(child, &code) && code == STILL_ACTIVE);
    CancelOrQuit(dialog_.Get());
    EXPECT_FALSE(g_state.child.Valid());
    EXPECT_EQ(Ending::kCancelled, g_state.ending);
    for (int i = 0; i < 3; ++i) TimerTick(dialog_.Get());
    EXPECT_LE(EngineCalls().size(), 1u);  // killed maybe before it noted its call
    EXPECT_FALSE(Exists(InInstall("patch.err")));
    EXPECT_TRUE(DeleteFileA(Engine().c_str()));  // nothing holds the program file

    SetUp();
    g_cancelDuringCopy = dialog_.Get();
    BeginUpdate(dialog_.Get());
    EXPECT_FALSE(g_state.child.Valid());
    EXPECT_FALSE(Exists(temp_ + "\\calls.txt"));

    SetUp();
    g_atDefaultPaths = true;
    g_cancelDuringRelocation = dialog_.Get();
    BeginUpdate(dialog_.Get());
    RunToEnd();
    EXPECT_TRUE(Called("relocate"));
    ExpectNothingMigrated();
    EXPECT_EQ(Ending::kCancelled, g_state.ending);

    SetUp();  // Quit after a completed run keeps its outcome
    BeginUpdate(dialog_.Get());
    RunToEnd();
    CancelOrQuit(dialog_.Get());
    EXPECT_EQ(Ending::kUpdated, g_state.ending);
}
