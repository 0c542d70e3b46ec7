// The sequencer's state machine, tick by tick: a fake engine program started
// for real as a child process, a stand-in dialog with a real progress bar,
// the update record on disk, and the test's own actions in place of the
// preflight and the migration (app/update_actions.h).
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>
#include "app/phases.h"
#include "app/sequencer.h"
#include "app/update_actions.h"
#include "common/event_log.h"
#include "common/state.h"
#include "common/update_record.h"
#include "migrate/relocation.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "scratch.h"

using namespace app;
using namespace common;
using migrate::Outcome;
using migrate::Problem;
using migrate::StopCheck;

static const char* const kFiles[] = {"UpdV1-V1.RTP", "UpdV1-V2.RTP", "UpdV2-V3.RTP"};
static const char kDone[] = "applied\r\nupdate complete\r\n";

// The migration as calls noted in order ("copy", "move", "renames", ...);
// each part fails when told, and "hold" parts wait until Cancel stops them.
class FakeActions : public UpdateActions {
public:
    Preflight Check(const PreflightInput& in) override {
        Note("check");
        checked = in;
        if (hold == "check") {  // as a long registry walk: until Cancel
            held = true;
            while (!migrate::StopRequested(in.stop)) Sleep(10);
            checkStopped = true;
        }
        // As the installation would tell: at least the steps the record has.
        // What the machine would show: the steps, and the phases the record notes.
        Preflight p;
        p.stepsDone = stepsDone;
        for (int k = 0; in.record && k < 3; ++k)
            if (in.record->Done(StepPhase(k))) p.stepsDone = std::max(p.stepsDone, k + 1);
        p.shown = in.record ? in.record->done & ~0xFu : 0;
        for (int k = 0; k < p.stepsDone; ++k) p.shown |= 1u << static_cast<int>(StepPhase(k));
        if (p.stepsDone > 0) p.shown |= 1u << static_cast<int>(Phase::kSharedCopy);
        if (checksRefused > 0) {
            --checksRefused;
            p.findings.push_back(Finding{refusal, "C:\\held.dll: in use by another program.", "C:\\held.dll"});
        }
        return p;
    }
    Outcome ProveFinalProgram(const std::string&, const std::string&) override { return {}; }
    bool IsAtDefaultPaths(const std::string&, const std::string&) override { return atDefaultPaths; }
    Outcome CopySharedFolder(const std::string& from, const std::string& to, const StopCheck& stop) override {
        recordBeforeCopy = !recordPath.empty() && Exists(recordPath);
        return Part("copy " + from + " > " + to, stop);
    }
    Outcome RelocateInstallation(const std::string&, const std::string& to, const StopCheck& stop) override {
        return Part("move " + to, stop);
    }
    Outcome RenameProductItems(const std::string&, const std::string& to, unsigned, const StopCheck& stop) override {
        return Part("renames " + to, stop);
    }
    Outcome MigrateShortcuts(const std::string& to, const std::string&, const std::string&,
                             const StopCheck& stop) override {
        return Part("shortcuts " + to, stop);
    }
    Outcome MigrateRegistry(const UpdateRecord& r, const StopCheck& stop) override {
        return Part("registry " + r.finalInstallFolder, stop);
    }
    Outcome DeleteLeftovers(const std::string& to) override { return Part("leftovers " + to, {}); }
    void ShowEngineLog(const std::string& folder) override { Note("editor " + folder); }

    // Called on the worker thread.
    Outcome Part(const std::string& call, const StopCheck& stop) {
        Note(call);
        Outcome o;
        std::string name = call.substr(0, call.find(' '));
        if (hold == name) {
            held = true;
            while (!migrate::StopRequested(stop)) Sleep(10);
            o.stopped = true;
        } else if (failing.find(name) != std::string::npos) {
            o.Add(Problem{"C:\\item", "", "it failed", 0});
        }
        return o;
    }
    void Note(const std::string& call) {
        std::lock_guard<std::mutex> hold(lock);
        calls.push_back(call);
    }
    std::vector<std::string> Calls() {
        std::lock_guard<std::mutex> hold(lock);
        return calls;
    }

    std::mutex lock;
    std::vector<std::string> calls;
    PreflightInput checked;
    int stepsDone = 0;
    int checksRefused = 0;
    Finding::Kind refusal = Finding::Kind::kInUse;
    bool atDefaultPaths = false;
    std::string failing, hold;  // names of parts: "copy move renames ..."
    std::atomic<bool> held{false};
    std::atomic<bool> checkStopped{false};
    std::string recordPath;  // when set: whether the record was there before the copy began
    bool recordBeforeCopy = false;
};

static std::vector<std::string> g_texts;
static int g_boxAnswer = IDOK;
static int NoteBox(HWND, const char* text, const char*, UINT flags) {
    g_texts.push_back(text);
    return (flags & MB_TYPEMASK) == MB_RETRYCANCEL ? g_boxAnswer : IDOK;
}

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
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\fake_engine.exe").c_str(), Engine().c_str(), FALSE));
        for (int i = 0; i < 3; ++i) Step(i, "go", std::string("log of ") + kFiles[i] + "\r\n" + kDone);
        Fresh();
        actions_.stepsDone = actions_.checksRefused = 0;
        actions_.atDefaultPaths = actions_.held = actions_.checkStopped = false;
        actions_.failing.clear();
        actions_.hold.clear();
        SetActions(&actions_);
        platform::SetMessageHook(NoteBox);
        g_texts.clear();
        g_boxAnswer = IDOK;
    }

    void TearDown() override {
        // A held child must not outlive its test.
        for (const char* f : kFiles) WriteText(temp_ + "\\" + f + ".release", "");
        if (g_state.child.Valid()) {
            RequestStop();
            platform::WaitProcessEnd(g_state.child.Get(), 10000);
        }
        CloseEventLog();
        ResetUpdaterState();
        ResetSequencer();
        SetActions(nullptr);
        platform::SetMessageHook(nullptr);
    }

    // A new process's start-up: the state of a fresh updater (finding the
    // record, when there is one, as start-up does).
    void Fresh() {
        if (g_state.child.Valid()) platform::WaitProcessEnd(g_state.child.Get(), 10000);
        ResetUpdaterState();
        ResetSequencer();
        g_state.installFolder = g_state.finalInstallFolder = install_;
        g_state.sharedFolder = root_ + "\\Vantor";
        g_state.tempFolder = temp_;
        g_state.engineProgramPath = Engine();
        g_state.startMenuProgramsFolder = root_ + "\\Programs";
        g_state.recordPath = RecordPath();
        std::string text = ReadText(RecordPath());
        g_state.resumed = text != "<missing>" && DecodeRecord(text, &g_state.record);
        g_state.payloadReady = true;
        actions_.calls.clear();
    }

    std::string Engine() const { return temp_ + "\\patch.exe"; }
    std::string RecordPath() const { return root_ + "\\record\\update.txt"; }
    std::string InInstall(const char* name) const { return install_ + "\\" + name; }
    UpdateRecord SavedRecord() const {
        UpdateRecord r;
        EXPECT_TRUE(DecodeRecord(ReadText(RecordPath()), &r));
        return r;
    }
    // What the fake engine does for step i.
    void Step(int i, const std::string& mode, const std::string& log) {
        WriteText(temp_ + "\\" + kFiles[i] + ".fake", mode + "\n" + log);
    }
    std::vector<std::string> EngineCalls() const {
        std::vector<std::string> lines;
        std::string all = ReadText(temp_ + "\\calls.txt");
        for (size_t at = 0, nl; (nl = all.find('\n', at)) != std::string::npos; at = nl + 1)
            lines.push_back(all.substr(at, nl - at));
        return lines;
    }
    // The migration's calls only, without the engine's.
    std::vector<std::string> Parts() { return actions_.Calls(); }
    bool Called(const std::string& prefix) {
        for (const auto& c : actions_.Calls())
            if (c.rfind(prefix, 0) == 0) return true;
        return false;
    }
    // Ticks until the run is Finished, at most `limit` ticks, letting each
    // phase end first. Returns the ticks taken.
    int RunToEnd(int limit = 30) {
        for (int n = 1; n <= limit; ++n) {
            if (g_state.child.Valid()) platform::WaitProcessEnd(g_state.child.Get(), 20000);
            TimerTick(dialog_.Get());
            if (!g_state.running && !g_state.child.Valid()) return n;
        }
        return -1;
    }
    void Run() {
        BeginUpdate(dialog_.Get());
        EXPECT_GT(RunToEnd(), 0);
    }
    void ExpectFinalState(const std::string& messagePart) {
        EXPECT_NE(std::string::npos, g_state.message.find(messagePart)) << g_state.message;
        EXPECT_FALSE(dialog_.Enabled(IDOK));
        EXPECT_TRUE(dialog_.Enabled(IDCANCEL));
        EXPECT_EQ("Quit", dialog_.Text(IDCANCEL));
        EXPECT_EQ(0, dialog_.BarPosition());
        EXPECT_FALSE(g_state.running);
        EXPECT_FALSE(g_state.child.Valid());
    }

    FakeActions actions_;
    FakeDialog dialog_;
    std::string root_, install_, temp_;
};

TEST_F(SequencerTest, AWholeUpdateTickByTick) {
    BeginUpdate(dialog_.Get());
    // The preflight runs on the worker; nothing is written before it passed.
    EXPECT_EQ(0u, g_state.message.find("Checking the Kestrin installation in folder \"" + install_));
    EXPECT_FALSE(dialog_.Enabled(IDOK));
    EXPECT_FALSE(dialog_.Enabled(1001));
    ASSERT_TRUE(g_state.running && g_state.child.Valid());
    EXPECT_FALSE(Exists(RecordPath()));
    ASSERT_TRUE(platform::WaitProcessEnd(g_state.child.Get(), 20000));
    actions_.recordPath = RecordPath();
    TimerTick(dialog_.Get());
    // Then the record, before the first change; the phases run on the worker.
    EXPECT_EQ(0u, g_state.message.find("Now updating the Kestrin installation in folder \"" + install_));
    ASSERT_TRUE(g_state.child.Valid());

    int ticks = RunToEnd();
    EXPECT_GT(ticks, 0);
    ExpectFinalState(install_ + "\" has been updated");
    EXPECT_TRUE(actions_.recordBeforeCopy);
    EXPECT_TRUE(dialog_.Enabled(1001));
    EXPECT_EQ(Ending::kUpdated, g_state.ending);
    std::vector<std::string> expected = {"check",
                                         "copy " + root_ + "\\Vantor > " + install_,
                                         "renames " + install_,
                                         "shortcuts " + install_,
                                         "registry " + install_,
                                         "leftovers " + install_};
    EXPECT_EQ(expected, Parts());
    const char* tags[] = {"RTP3.err", "RTP1.err", "RTP2.err"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(std::string("log of ") + kFiles[i] + "\r\n" + kDone, ReadText(InInstall(tags[i])));
    EXPECT_FALSE(Exists(InInstall("patch.err")));
    EXPECT_FALSE(Exists(RecordPath())) << "a completed update leaves no record";

    actions_.calls.clear();
    TimerTick(dialog_.Get());  // Finished: nothing
    EXPECT_TRUE(Parts().empty());
    // The engine was started quoted, on bare names, in the install folder, hidden.
    std::vector<std::string> calls = EngineCalls();
    ASSERT_EQ(3u, calls.size());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ("\"" + Engine() + "\" -e -i -v -noc " + kFiles[i] + "|" + install_ + "|show=0", calls[i]);
}

// A step counts as done only when the engine's exit code and its own log
// both say so; anything else stops the run before the next step, and the
// next run begins with that step.
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
        Run();
        SCOPED_TRACE(std::string(r.mode) + " [" + r.log + "]");
        EXPECT_EQ(r.succeeds, Called("registry"));
        EXPECT_EQ(r.succeeds ? 3u : 2u, EngineCalls().size());  // step 3 never ran after a failure
        if (r.succeeds) continue;
        ExpectFinalState("Please refer to the file PATCH.ERR.");
        EXPECT_EQ(Ending::kPatchFailed, g_state.ending);
        EXPECT_TRUE(Called("editor " + install_));
        EXPECT_TRUE(Exists(InInstall("patch.err")));  // what the message points at
        // The next run goes on at the step that failed, not at the first.
        Step(1, "go", kDone);
        Fresh();
        Run();
        std::vector<std::string> calls = EngineCalls();
        ASSERT_EQ(4u, calls.size());
        EXPECT_NE(std::string::npos, calls[2].find("-noc UpdV1-V2.RTP"));
        EXPECT_FALSE(Called("copy")) << "the shared folder is copied only before the first step";
        EXPECT_EQ(Ending::kUpdated, g_state.ending);
    }
}

// A log of an earlier run is never judged: a read-only one is cleared, and
// one that cannot be cleared fails the run before any engine starts.
TEST_F(SequencerTest, StaleReadOnlyLogIsClearedOrFailsTheRun) {
    Step(0, "go", "-");  // an engine that writes nothing must not inherit the old verdict
    WriteText(InInstall("patch.err"), kDone);
    platform::SetReadOnly(InInstall("patch.err").c_str(), true);
    Run();
    EXPECT_FALSE(Called("renames"));
    EXPECT_EQ(Ending::kPatchFailed, g_state.ending);

    SetUp();
    HANDLE held = CreateFileA(InInstall("patch.err").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    Run();
    CloseHandle(held);
    EXPECT_TRUE(EngineCalls().empty());
    ASSERT_FALSE(g_texts.empty());
    EXPECT_EQ(0u, g_texts.back().find("The log \"patch.err\" of an earlier run"));
    EXPECT_FALSE(Called("renames"));
}

TEST_F(SequencerTest, AnEngineThatCannotStartFailsTheRun) {
    g_state.engineProgramPath = temp_ + "\\missing.exe";
    Run();
    std::string log = ReadText(InInstall("patch.err"));
    EXPECT_NE(std::string::npos, log.find("could not be started")) << log;
    EXPECT_NE(std::string::npos, log.find("UpdV1-V1.RTP"));
    ExpectFinalState("PATCH.ERR");
    EXPECT_FALSE(Called("renames"));
    EXPECT_EQ(Ending::kPatchFailed, g_state.ending);
}

// Without a payload (an "Initialization error" start-up) nothing can begin.
TEST_F(SequencerTest, NoPayloadNoRun) {
    g_state.payloadReady = false;
    BeginUpdate(dialog_.Get());
    EXPECT_TRUE(Parts().empty());
    EXPECT_FALSE(g_state.running);
    EXPECT_FALSE(Exists(RecordPath()));
}

// Which phases a run has: the steps the installation has had are skipped,
// the copy of the shared folder comes only before the first step, the move
// only at the default paths; a record's done phases are not run again.
TEST_F(SequencerTest, ARunDoesWhatIsLeft) {
    std::string moved = migrate::NewInstallFolder();
    struct Row {
        int stepsDone;
        bool atDefaultPaths;
        std::vector<Phase> recordDone;  // a record from an earlier run (empty: none)
        std::vector<std::string> parts;
        size_t engineRuns;
    };
    const Row rows[] = {
        {2, false, {}, {"renames", "shortcuts", "registry", "leftovers"}, 1},
        {3, false, {}, {"renames", "shortcuts", "registry", "leftovers"}, 0},
        {0, true, {}, {"copy", "move", "renames", "shortcuts", "registry", "leftovers"}, 3},
        {3, true, {Phase::kStep3, Phase::kMove}, {"renames", "shortcuts", "registry", "leftovers"}, 0},
        {3, false, {Phase::kStep3, Phase::kMove, Phase::kRenames, Phase::kShortcuts}, {"registry", "leftovers"}, 0},
    };
    for (const Row& r : rows) {
        SetUp();
        actions_.stepsDone = r.stepsDone;
        actions_.atDefaultPaths = r.atDefaultPaths;
        if (!r.recordDone.empty()) {
            UpdateRecord rec;
            rec.installFolder = install_;
            rec.sharedFolder = root_ + "\\Vantor";
            rec.relocate = r.atDefaultPaths;
            rec.finalInstallFolder = r.atDefaultPaths ? moved : install_;
            for (Phase p : r.recordDone) rec.MarkDone(p);
            std::string path = RecordPath();
            ASSERT_TRUE(SaveRecord(rec, &path));
            Fresh();
        }
        Run();
        SCOPED_TRACE(::testing::PrintToString(r.parts));
        std::vector<std::string> names;
        for (const std::string& c : Parts())
            if (c != "check") names.push_back(c.substr(0, c.find(' ')));
        EXPECT_EQ(r.parts, names);
        EXPECT_EQ(r.engineRuns, EngineCalls().size());
        EXPECT_EQ(Ending::kUpdated, g_state.ending);
        if (r.atDefaultPaths) {
            EXPECT_TRUE(Called("shortcuts " + moved));
            EXPECT_NE(std::string::npos, g_state.message.find("\"" + moved + "\" has been updated"));
        }
    }
}

// A part that fails: what must not follow it does not run, the run ends
// with code 5 and says it did not complete (never "has been updated"), and
// the record keeps what is left for the next run, which finishes it.
TEST_F(SequencerTest, AFailedPartStopsWhatDependsOnItAndTheNextRunFinishes) {
    struct Row {
        const char* failing;
        std::vector<std::string> ran;  // parts after "check", by name
    };
    const Row rows[] = {
        {"copy", {"copy"}},  // nothing is patched on top of an incomplete copy
        {"move", {"copy", "move"}},
        {"renames", {"copy", "move", "renames"}},  // no shortcut or value may name a missing Dovetra.exe
        {"shortcuts", {"copy", "move", "renames", "shortcuts", "registry", "leftovers"}},
        {"registry", {"copy", "move", "renames", "shortcuts", "registry", "leftovers"}},
    };
    for (const Row& r : rows) {
        SetUp();
        actions_.atDefaultPaths = true;
        actions_.failing = r.failing;
        Run();
        SCOPED_TRACE(r.failing);
        std::vector<std::string> names;
        for (const std::string& c : Parts())
            if (c != "check") names.push_back(c.substr(0, c.find(' ')));
        EXPECT_EQ(r.ran, names);
        EXPECT_EQ(Ending::kMigrationFailed, g_state.ending);
        ExpectFinalState("has not completed");
        EXPECT_EQ(std::string::npos, g_state.message.find("has been updated"));
        EXPECT_FALSE(dialog_.Enabled(1001)) << "another folder only once this update is done";
        ASSERT_FALSE(g_texts.empty());
        EXPECT_NE(std::string::npos, g_texts.back().find("Run the updater again")) << g_texts.back();
        EXPECT_TRUE(Exists(RecordPath()));

        actions_.failing.clear();
        Fresh();
        EXPECT_TRUE(g_state.resumed);
        Run();
        EXPECT_EQ(Ending::kUpdated, g_state.ending);
        EXPECT_TRUE(Called(r.failing));
        EXPECT_FALSE(Exists(RecordPath()));
    }
}

// What the preflight finds stops the run before its first change: no record,
// no phase; files in use can be retried from the box.
TEST_F(SequencerTest, APreflightRefusalChangesNothing) {
    struct Row {
        Finding::Kind kind;
        int answer;
        Ending ending;
    };
    const Row rows[] = {
        {Finding::Kind::kInUse, IDCANCEL, Ending::kFilesInUse},
        {Finding::Kind::kInUse, IDRETRY, Ending::kUpdated},  // closed meanwhile: the retry passes
        {Finding::Kind::kSpace, IDOK, Ending::kCannotUpdate},
        {Finding::Kind::kChanged, IDOK, Ending::kCannotUpdate},
        {Finding::Kind::kBadBuild, IDOK, Ending::kBadBuild},
    };
    for (const Row& r : rows) {
        SetUp();
        actions_.checksRefused = 1;
        actions_.refusal = r.kind;
        g_boxAnswer = r.answer;
        BeginUpdate(dialog_.Get());
        EXPECT_GT(RunToEnd(), 0);
        SCOPED_TRACE(static_cast<int>(r.kind));
        ASSERT_FALSE(g_texts.empty());
        EXPECT_NE(std::string::npos, g_texts[0].find("C:\\held.dll")) << g_texts[0];
        if (r.ending == Ending::kUpdated) {
            EXPECT_EQ(Ending::kUpdated, g_state.ending);
            continue;
        }
        EXPECT_EQ(1u, g_texts.size());
        EXPECT_EQ(r.ending, g_state.ending);
        EXPECT_FALSE(g_state.running);
        EXPECT_EQ(std::vector<std::string>{"check"}, Parts());
        EXPECT_TRUE(EngineCalls().empty());
        EXPECT_FALSE(Exists(RecordPath()));
        EXPECT_TRUE(dialog_.Enabled(IDOK)) << "the user may try again";
    }
}

// Cancel at any moment: nothing starts or runs after it, a running engine is
// ended through its handle, a running part stops between two items, the run
// ends as cancelled, and the next run finishes the update.
TEST_F(SequencerTest, CancelAtEveryStageAndTheNextRunFinishes) {
    for (const char* stage : {"check", "engine", "copy", "move", "registry", "done"}) {
        SetUp();
        SCOPED_TRACE(stage);
        std::string log = root_ + "\\events.log";
        ASSERT_TRUE(OpenEventLog(log.c_str()));
        actions_.atDefaultPaths = true;
        std::string s = stage;
        if (s == "engine") Step(1, "hold", kDone);
        if (s != "engine" && s != "done") actions_.hold = s;
        if (s == "check") g_state.recordPath.clear();  // a new update: no record before the preflight has passed
        BeginUpdate(dialog_.Get());
        for (int i = 0; i < 60 && s != "done"; ++i) {
            if (s == "engine" ? EngineCalls().size() == 2 : actions_.held.load()) break;
            if (g_state.child.Valid()) platform::WaitProcessEnd(g_state.child.Get(), 100);
            TimerTick(dialog_.Get());
        }
        if (s == "done") RunToEnd();
        CancelOrQuit(dialog_.Get());
        EXPECT_FALSE(g_state.child.Valid());
        EXPECT_EQ(s == "check", actions_.checkStopped.load()) << "Cancel stops the preflight's look";
        if (s == "done") {
            CloseEventLog();
            EXPECT_EQ(Ending::kUpdated, g_state.ending) << "Quit after a completed run keeps its outcome";
            continue;
        }
        EXPECT_EQ(Ending::kCancelled, g_state.ending);
        size_t calls = Parts().size();
        for (int i = 0; i < 3; ++i) TimerTick(dialog_.Get());
        EXPECT_EQ(calls, Parts().size()) << "nothing runs after Cancel";
        if (s == "engine") EXPECT_TRUE(DeleteFileA(Engine().c_str())) << "nothing holds the program file";
        if (s == "engine")
            ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\fake_engine.exe").c_str(), Engine().c_str(), FALSE));
        CloseEventLog();
        // Cancelled while the preflight looked: nothing began, and the log says so.
        EXPECT_EQ(s != "check", Exists(RecordPath()));
        EXPECT_EQ(s == "check", ReadText(log).find("nothing has been changed") != std::string::npos);

        actions_.hold.clear();
        Step(1, "go", kDone);
        Fresh();
        Run();
        EXPECT_EQ(Ending::kUpdated, g_state.ending);
        EXPECT_TRUE(Called(s == "engine" || s == "check" ? "move" : stage));
        EXPECT_FALSE(Exists(RecordPath()));
    }
}
