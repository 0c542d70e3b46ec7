#include <gtest/gtest.h>
#include <cstring>
#include "common/state.h"
#include "common/path.h"
#include "app/startup.h"
#include "payload/tempname.h"
#include "platform/opendialog.h"
#include "platform/strings.h"
#include "scratch.h"

namespace {

// The user, as the open-file dialogs see it: the file to confirm for each
// question, or an empty answer to cancel. Counts the questions asked.
struct User {
    std::string exeAnswer, f32Answer;
    int asked = 0;
} g_user;

bool Answer(HWND, const char*, const char* pattern, const char*, char* out, DWORD cap) {
    ++g_user.asked;
    const std::string& a = std::strcmp(pattern, "*.exe") == 0 ? g_user.exeAnswer : g_user.f32Answer;
    if (a.empty() || a.size() >= cap) return false;
    std::strcpy(out, a.c_str());
    return true;
}

const char* kTags[] = {"PDLL", "RTP3", "RTP2", "RTP1", "PEXE"};
const char* kFiles[] = {"patchw32.dll", "UpdV1-V1.RTP", "UpdV2-V3.RTP", "UpdV1-V2.RTP", "patch.exe"};

std::string PayloadOf(int i) { return "payload of " + std::string(kTags[i]) + Filler(100 * i, 7); }

class Prepare : public ::testing::Test {
protected:
    void SetUp() override {
        ResetUpdaterState();
        dir_ = FreshFolder("scratch-prepare");
        ::CreateDirectoryA((dir_ + "\\inst").c_str(), nullptr);
        ::CreateDirectoryA((dir_ + "\\shared").c_str(), nullptr);
        ::CreateDirectoryA((dir_ + "\\tmp").c_str(), nullptr);
        WriteBytes(dir_ + "\\inst\\Kestrin.exe", "old");
        WriteBytes(dir_ + "\\shared\\WMF.F32", "wmf");
        g_user = User{dir_ + "\\inst\\Kestrin.exe", dir_ + "\\shared\\WMF.F32"};
        platform::SetOpenFileHook(Answer);
        carrier_ = MakeCarrier("");
        ::SetEnvironmentVariableA("TMP", (dir_ + "\\tmp").c_str());
    }
    void TearDown() override {
        RemoveExtractedFiles();
        platform::SetOpenFileHook(nullptr);
        ::SetCurrentDirectoryA(dir_.c_str());
        ::SetCurrentDirectoryA("..");
        RemoveTree(dir_);
    }
    // A carrier with every block but `leaveOut`.
    std::string MakeCarrier(const std::string& leaveOut) {
        std::string file = Image();
        for (int i = 0; i < 5; ++i)
            if (leaveOut != kTags[i]) file += Block(kTags[i], PayloadOf(i));
        std::string p = dir_ + "\\carrier" + leaveOut + ".exe";
        WriteBytes(p, file);
        return p;
    }
    void ExpectAllExtracted() {
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(ReadBytes(std::string(g_state.tempFolder) + "\\" + kFiles[i]), PayloadOf(i)) << kFiles[i];
    }
    std::string dir_, carrier_;
};

std::string CurrentFolder() {
    char cwd[MAX_PATH];
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    return cwd;
}

}  // namespace

TEST_F(Prepare, ReadyExtractsIntoAFreshFolderOfItsOwn) {
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    EXPECT_EQ(std::string(g_state.installFolder), dir_ + "\\inst");
    EXPECT_STREQ(g_state.finalInstallFolder, g_state.installFolder);
    EXPECT_EQ(std::string(g_state.sharedFolder), dir_ + "\\shared");
    EXPECT_EQ(std::string(g_state.tempFolder), dir_ + "\\tmp\\DV5031");
    EXPECT_EQ(std::string(g_state.engineProgramPath), dir_ + "\\tmp\\DV5031\\patch.exe");
    EXPECT_EQ(std::string(g_state.engineLibraryPath), dir_ + "\\tmp\\DV5031\\patchw32.dll");
    EXPECT_TRUE(PathsEqual(CurrentFolder().c_str(), g_state.installFolder));
    EXPECT_EQ(g_state.message, platform::FormatText(platform::LoadText(102), g_state.installFolder));
    EXPECT_EQ(g_user.asked, 2) << "no registry entries here: both folders asked for";
    ExpectAllExtracted();

    RemoveExtractedFiles();
    EXPECT_FALSE(Exists(dir_ + "\\tmp\\DV5031")) << "the folder goes with its files";
    EXPECT_TRUE(Exists(dir_ + "\\tmp"));
    RemoveExtractedFiles();  // twice is harmless
}

TEST_F(Prepare, TakenNamesAreSkippedAndLeftAlone) {
    std::string planted = dir_ + "\\tmp\\DV5031";
    ::CreateDirectoryA(planted.c_str(), nullptr);
    WriteBytes(planted + "\\patch.exe", "planted");
    WriteBytes(dir_ + "\\tmp\\DV5032", "a file by that name");
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    EXPECT_EQ(std::string(g_state.tempFolder), dir_ + "\\tmp\\DV5033");
    ExpectAllExtracted();
    RemoveExtractedFiles();
    EXPECT_EQ(ReadBytes(planted + "\\patch.exe"), "planted");
    EXPECT_EQ(ReadBytes(dir_ + "\\tmp\\DV5032"), "a file by that name");
    EXPECT_FALSE(Exists(dir_ + "\\tmp\\DV5033"));
}

TEST_F(Prepare, ForeignFileInOurFolderKeepsTheFolder) {
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    std::string extra = std::string(g_state.tempFolder) + "\\someone-elses.txt";
    WriteBytes(extra, "x");
    RemoveExtractedFiles();
    EXPECT_EQ(ReadBytes(extra), "x");
    EXPECT_FALSE(Exists(std::string(g_state.tempFolder) + "\\patch.exe"));
}

TEST_F(Prepare, QuotedTmp) {
    ::SetEnvironmentVariableA("TMP", ("\"" + dir_ + "\\tmp\"").c_str());
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    EXPECT_EQ(std::string(g_state.tempFolder), dir_ + "\\tmp\\DV5031");
}

TEST_F(Prepare, TmpWithTrailingSeparator) {
    ::SetEnvironmentVariableA("TMP", (dir_ + "\\tmp\\").c_str());
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    EXPECT_EQ(std::string(g_state.tempFolder), dir_ + "\\tmp\\DV5031");
}

TEST_F(Prepare, UnsetOrMissingTmpFallsBackToDriveC) {
    for (const char* tmp : {static_cast<const char*>(nullptr), "C:\\no\\such\\folder"}) {
        ResetUpdaterState();
        ::SetEnvironmentVariableA("TMP", tmp);
        char base[kPathCap];
        ASSERT_TRUE(ChooseTempBase("c:\\", base, sizeof base));
        EXPECT_STREQ(base, "c:\\");
        ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
        EXPECT_EQ(std::string(g_state.tempFolder).substr(0, 8), "c:\\DV503");
        ExpectAllExtracted();
        std::string made = g_state.tempFolder;
        RemoveExtractedFiles();
        EXPECT_FALSE(Exists(made));
    }
}

TEST_F(Prepare, OverLongTmpFolderGivesResultThreeAndExtractsNothing) {
    // An existing folder so deep that its payload paths would not fit.
    std::string deep = dir_;
    while (deep.size() < 246) deep += "\\" + std::string(std::min<size_t>(40, 246 - deep.size()), 'd');
    for (size_t at = dir_.size() + 1; at <= deep.size(); ++at)
        if (at == deep.size() || deep[at] == '\\') ::CreateDirectoryA(deep.substr(0, at).c_str(), nullptr);
    ASSERT_TRUE(Exists(deep)) << deep.size();
    ::SetEnvironmentVariableA("TMP", deep.c_str());

    // Files of those names where the old rule would have deleted them.
    ::SetCurrentDirectoryA("C:\\");
    WriteBytes("C:\\patch.exe", "not ours");
    WriteBytes("C:\\UpdV1-V1.RTP", "not ours either");

    EXPECT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kNoFolder);
    EXPECT_STREQ(g_state.tempFolder, "");
    EXPECT_STREQ(g_state.engineProgramPath, "");
    EXPECT_EQ(std::string(g_state.sharedFolder), dir_ + "\\shared") << "still sought";
    ::SetCurrentDirectoryA("C:\\");
    RemoveExtractedFiles();  // Cancel after "Initialization error"
    EXPECT_EQ(ReadBytes("C:\\patch.exe"), "not ours");
    EXPECT_EQ(ReadBytes("C:\\UpdV1-V1.RTP"), "not ours either");
    ::DeleteFileA("C:\\patch.exe");
    ::DeleteFileA("C:\\UpdV1-V1.RTP");
}

TEST_F(Prepare, OverLongTmpThatDoesNotExistIsIgnored) {
    std::string tmp = dir_ + "\\" + std::string(300, 'x');
    ::SetEnvironmentVariableA("TMP", tmp.c_str());
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    EXPECT_EQ(std::string(g_state.tempFolder).substr(0, 8), "c:\\DV503");
}

TEST_F(Prepare, MissingEngineBlocksGiveOne) {
    for (const char* tag : {"PEXE", "PDLL"}) {
        ResetUpdaterState();
        EXPECT_EQ(PrepareStartup(MakeCarrier(tag).c_str(), ""), StartupResult::kBadBuild) << tag;
        EXPECT_FALSE(Exists(std::string(g_state.tempFolder))) << "nothing left behind";
    }
    EXPECT_EQ(PrepareStartup((dir_ + "\\missing.exe").c_str(), ""), StartupResult::kBadBuild);
    EXPECT_EQ(PrepareStartup("", ""), StartupResult::kBadBuild);
}

TEST_F(Prepare, MissingPatchBlockGivesTwo) {
    for (const char* tag : {"RTP3", "RTP1", "RTP2"}) {
        ResetUpdaterState();
        EXPECT_EQ(PrepareStartup(MakeCarrier(tag).c_str(), ""), StartupResult::kBadBuild) << tag;
        EXPECT_FALSE(Exists(std::string(g_state.tempFolder) + "\\patch.exe"));
        EXPECT_FALSE(Exists(std::string(g_state.tempFolder)));
    }
}

TEST_F(Prepare, NotFoundGivesFourAndStillAsksForTheSharedFolder) {
    g_user.exeAnswer.clear();
    EXPECT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kNotFound);
    EXPECT_EQ(g_user.asked, 2);
    EXPECT_STREQ(g_state.tempFolder, "") << "no extraction without an installation";
    EXPECT_EQ(std::string(g_state.sharedFolder), dir_ + "\\shared");

    ResetUpdaterState();
    g_user = User{dir_ + "\\inst\\Kestrin.exe", ""};
    EXPECT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kNotFound);
    EXPECT_FALSE(Exists(dir_ + "\\tmp\\DV5031")) << "extracted files removed: the dialog just ends";

    ResetUpdaterState();
    g_user = User{dir_ + "\\inst\\Kestrin.exe", dir_ + "\\inst\\Kestrin.exe"};
    EXPECT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kNotFound) << "a folder without WMF.F32";
}

TEST_F(Prepare, DiagnosticModeNamesTheSharedFolder) {
    g_state.diagnostic = true;
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    std::string expected = platform::FormatText(platform::LoadText(102), g_state.installFolder) +
                           "  (Vantor folder is \"" + dir_ + "\\shared\").";
    EXPECT_EQ(g_state.message, expected);
}

// "/dir": the search and its question are skipped; the folder must exist.
TEST_F(Prepare, GivenFolderSkipsTheSearch) {
    g_user.exeAnswer.clear();
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ("\"" + dir_ + "\\inst\\\"").c_str()), StartupResult::kReady);
    EXPECT_EQ(std::string(g_state.installFolder), dir_ + "\\inst");
    EXPECT_EQ(1, g_user.asked);  // the shared folder's question only
    RemoveExtractedFiles();
    ResetUpdaterState();
    EXPECT_EQ(PrepareStartup(carrier_.c_str(), (dir_ + "\\nowhere").c_str()), StartupResult::kNotFound);
}
