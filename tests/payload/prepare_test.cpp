// PrepareStartup against a carrier built here: the folders found, the payload
// extracted into a folder of its own under TMP, and nothing left behind when
// start-up is not ready. The exit codes and messages of these endings are
// checked through the real updater by tests/gui/startup_codes.sh.
#include <gtest/gtest.h>
#include "app/startup.h"
#include "blocks.h"
#include "common/path.h"
#include "common/state.h"
#include "scratch.h"

using namespace app;
using namespace common;

namespace {

const char* const kTags[] = {"PDLL", "RTP3", "RTP2", "RTP1", "PEXE"};
const char* const kFiles[] = {"patchw32.dll", "UpdV1-V1.RTP", "UpdV2-V3.RTP", "UpdV1-V2.RTP", "patch.exe"};

std::string PayloadOf(int i) { return "payload of " + std::string(kTags[i]) + Filler(100 * i, 7); }

class Prepare : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        ResetUpdaterState();
        MakeTree(root, {"inst\\", "shared\\", "tmp\\", "inst\\Kestrin.exe=old", "shared\\WMF.F32=wmf"});
        g_answers = {{"*.exe", At("inst\\Kestrin.exe")}, {"*.f32", At("shared\\WMF.F32")}};
        carrier_ = MakeCarrier("");
        char tmp[MAX_PATH];
        tmp_ = ::GetEnvironmentVariableA("TMP", tmp, sizeof tmp) ? tmp : "";
        ::SetEnvironmentVariableA("TMP", At("tmp").c_str());
    }
    void TearDown() override {
        RemoveExtractedFiles();
        ResetUpdaterState();
        ::SetEnvironmentVariableA("TMP", tmp_.c_str());
        Scratch::TearDown();
    }
    // A carrier with every block but `leaveOut`.
    std::string MakeCarrier(const std::string& leaveOut) {
        std::string file = Image();
        for (int i = 0; i < 5; ++i)
            if (leaveOut != kTags[i]) file += Block(kTags[i], PayloadOf(i));
        WriteText(At("carrier" + leaveOut + ".exe"), file);
        return At("carrier" + leaveOut + ".exe");
    }
    void ExpectAllExtracted() {
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(ReadText(g_state.tempFolder + "\\" + kFiles[i]), PayloadOf(i)) << kFiles[i];
    }
    std::string carrier_, tmp_;
};

}  // namespace

TEST_F(Prepare, ReadyExtractsIntoAFreshFolderOfItsOwnAndRemovesOnlyThat) {
    // DV5031 holds someone's file too, DV5035 only what a killed run leaves.
    MakeTree(root, {"tmp\\DV5031\\", "tmp\\DV5031\\patch.exe=planted", "tmp\\DV5031\\notes.txt=kept",
                    "tmp\\DV5032=a file by that name", "tmp\\DV5035\\", "tmp\\DV5035\\patch.err=left"});
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    EXPECT_FALSE(Exists(At("tmp\\DV5035"))) << "a killed run's payload folder";
    EXPECT_EQ(g_state.installFolder, At("inst"));
    EXPECT_EQ(g_state.finalInstallFolder, g_state.installFolder);
    EXPECT_EQ(g_state.sharedFolder, At("shared"));
    EXPECT_EQ(g_state.tempFolder, At("tmp\\DV5033")) << "taken names are skipped";
    EXPECT_EQ(g_state.engineProgramPath, At("tmp\\DV5033\\patch.exe"));
    EXPECT_EQ(g_state.engineLibraryPath, At("tmp\\DV5033\\patchw32.dll"));
    EXPECT_EQ(CurrentDir(), root) << "start-up never changes the current directory";
    EXPECT_EQ(g_asked.size(), 2u) << "no registry entries here: both folders asked for";
    ExpectAllExtracted();

    RemoveExtractedFiles();
    RemoveExtractedFiles();  // twice is harmless
    EXPECT_FALSE(Exists(At("tmp\\DV5033")));
    EXPECT_EQ(ReadText(At("tmp\\DV5031\\patch.exe")) + ReadText(At("tmp\\DV5032")), "planteda file by that name");

    // A file of someone else's in our folder keeps the folder.
    ResetUpdaterState();
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kReady);
    WriteText(g_state.tempFolder + "\\someone-elses.txt", "x");
    RemoveExtractedFiles();
    EXPECT_EQ(ListNames(g_state.tempFolder), Names{"someone-elses.txt"});
}

TEST_F(Prepare, TheBaseIsTmpQuotedOrNotElseDriveC) {
    std::string deep = root;  // exists, but too deep for the payload's paths
    while (deep.size() < 246) deep += "\\" + std::string(std::min<size_t>(40, 246 - deep.size()), 'd');
    MakeDir(deep);
    // Files of the payload's names where a careless clean-up would delete them.
    WriteText("C:\\patch.exe", "not ours");
    // clang-format off
    const struct { bool set; std::string tmp, folder; StartupResult result; } rows[] = {
        {true, "\"" + At("tmp") + "\"", At("tmp\\DV5031"), StartupResult::kReady},
        {false, "", "c:\\DV503", StartupResult::kReady},
        {true, "C:\\no\\such\\folder", "c:\\DV503", StartupResult::kReady},
        {true, At(std::string(300, 'x')), "c:\\DV503", StartupResult::kReady},  // too long, and missing
        {true, deep, "", StartupResult::kNoFolder},
    };
    // clang-format on
    for (const auto& r : rows) {
        SCOPED_TRACE(r.set ? r.tmp : "unset");
        ResetUpdaterState();
        ::SetEnvironmentVariableA("TMP", r.set ? r.tmp.c_str() : nullptr);
        EXPECT_EQ(PrepareStartup(carrier_.c_str(), ""), r.result);
        std::string made = g_state.tempFolder;
        EXPECT_EQ(made.substr(0, r.folder.size()), r.folder);
        EXPECT_EQ(g_state.sharedFolder, At("shared")) << "sought in every case";
        if (r.result == StartupResult::kReady)
            ExpectAllExtracted();
        else
            EXPECT_EQ(made + g_state.engineProgramPath, "");
        ::SetCurrentDirectoryA("C:\\");
        RemoveExtractedFiles();
        EXPECT_TRUE(made.empty() || !Exists(made)) << made;
    }
    EXPECT_EQ(ReadText("C:\\patch.exe"), "not ours");
    RemoveAll("C:\\patch.exe");
}

TEST_F(Prepare, AnyMissingBlockIsABadBuildThatLeavesNothing) {
    for (const char* tag : kTags) {
        ResetUpdaterState();
        EXPECT_EQ(PrepareStartup(MakeCarrier(tag).c_str(), ""), StartupResult::kBadBuild) << tag;
        EXPECT_EQ(ListNames(At("tmp")), Names{}) << tag;
    }
    EXPECT_EQ(PrepareStartup(At("missing.exe").c_str(), ""), StartupResult::kBadBuild);
    EXPECT_EQ(PrepareStartup("", ""), StartupResult::kBadBuild);
}

TEST_F(Prepare, EitherFolderNotFoundLeavesNothingButBothAreAskedFor) {
    // clang-format off
    const struct { const char* pattern; std::string answer; } rows[] = {
        {"*.exe", ""}, {"*.f32", ""}, {"*.f32", At("inst\\Kestrin.exe")},  // a folder without WMF.F32
    };
    // clang-format on
    for (const auto& r : rows) {
        ResetUpdaterState();
        g_asked.clear();
        g_answers = {{"*.exe", At("inst\\Kestrin.exe")}, {"*.f32", At("shared\\WMF.F32")}};
        g_answers[r.pattern] = r.answer;
        EXPECT_EQ(PrepareStartup(carrier_.c_str(), ""), StartupResult::kNotFound) << r.pattern << r.answer;
        EXPECT_EQ(g_asked.size(), 2u);
        EXPECT_EQ(ListNames(At("tmp")), Names{}) << "extracted files removed: the dialog just ends";
    }
}

// "/dir": the search and its question are skipped; the folder must hold Kestrin.exe.
TEST_F(Prepare, GivenFolderSkipsTheSearch) {
    g_answers.erase("*.exe");
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ("\"" + At("inst") + "\\\"").c_str()), StartupResult::kReady);
    EXPECT_EQ(g_state.installFolder, At("inst"));
    EXPECT_EQ(g_asked.size(), 1u) << "the shared folder's question only";
    RemoveExtractedFiles();
    ResetUpdaterState();
    EXPECT_EQ(PrepareStartup(carrier_.c_str(), At("nowhere").c_str()), StartupResult::kNotFound);
    EXPECT_EQ(PrepareStartup(carrier_.c_str(), root.c_str()), StartupResult::kNotFound) << "no Kestrin.exe there";
    ASSERT_TRUE(SetCurrentDirectoryA(root.c_str()));
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), "inst\\"), StartupResult::kReady);  // relative to the current folder
    EXPECT_EQ(g_state.installFolder, At("inst"));
    // A folder whose path takes over 300 bytes of UTF-8 (CJK), which Windows allows.
    std::string cjk;
    for (int i = 0; i < 10; ++i) cjk += "漢字文件夾";
    const std::string deep = At(cjk + "\\" + cjk);
    MakeTree(root, {deep + "\\", deep + "\\Kestrin.exe=old"});
    ResetUpdaterState();
    ASSERT_EQ(PrepareStartup(carrier_.c_str(), ("\"" + deep + "\"").c_str()), StartupResult::kReady);
    EXPECT_EQ(g_state.installFolder, deep);
    RemoveExtractedFiles();
}
