// Discovery through the real registry of a throwaway Wine prefix, and the
// open-file questions through the recorder of tests/support.
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include "common/path.h"
#include "common/state.h"
#include "locate/discovery.h"
#include "platform/reg.h"
#include "platform/strings.h"
#include "platform/utf.h"
#include "scratch.h"

using namespace common;
using namespace locate;

namespace {

const char kProgId[] = "Kestrin.Document.5";
const char kNone[] = "<none>";

void SetDefault(HKEY root, const std::string& path, const std::string& value) {
    platform::Key k;
    ASSERT_TRUE(platform::RegCreate(root, path.c_str(), KEY_WRITE, k)) << path;
    ASSERT_TRUE(platform::RegWriteText(k.Get(), nullptr, REG_SZ, value.c_str()));
}

bool KeyExists(HKEY root, const std::string& path) {
    platform::Key k;
    return platform::RegOpen(root, path.c_str(), KEY_READ, k);
}

// Removes the association: ".ksd" and the ProgID it names.
void Clean() {
    char progId[400];
    LONG n = sizeof progId;
    if (::RegQueryValueA(HKEY_CLASSES_ROOT, ".ksd", progId, &n) == ERROR_SUCCESS && progId[0])
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, progId);
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ".ksd");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vantor Corp.");
}

class Discovery : public Scratch {
protected:
    void SetUp() override {
        Scratch::SetUp();
        ResetUpdaterState();
        Clean();
        MakeTree(root, {"Kestrin 5.0\\", "Vantor\\",
                        "Kestrin 5.0\\Kestrin.exe=", "Kestrin 5.0\\Readme.txt=", "Vantor\\WMF.F32="});
        inst_ = At("Kestrin 5.0");
        for (int i = 0; i < 16; ++i) cjk_ += "漢字文件夾";  // 80 ideographs, 240 bytes of UTF-8
        shared_ = At("Vantor");
    }
    void TearDown() override {
        Clean();
        Scratch::TearDown();
    }
    // A ".ksd" association through `progId` to `command` (kNone: no such key).
    void Associate(const std::string& progId, const std::string& command) {
        Clean();
        if (progId == kNone) return;
        SetDefault(HKEY_CLASSES_ROOT, ".ksd", progId);
        if (command != kNone) SetDefault(HKEY_CLASSES_ROOT, progId + "\\shell\\open\\command", command);
    }
    std::string inst_, shared_, cjk_;
};

}  // namespace

TEST_F(Discovery, InstallFolderFromTheAssociationElseAskedFor) {
    const std::string exe = inst_ + "\\Kestrin.exe";
    // An installation whose program's path comes up to 259 UTF-16 units, the
    // most Windows allows there, in CJK: about 500 bytes of UTF-8.
    std::string cjkInst = At(cjk_ + "\\" + cjk_.substr(0, 3 * std::min<size_t>(80, 165 - root.size())));
    MakeTree(cjkInst, {cjkInst + "\\", cjkInst + "\\Kestrin.exe=", cjkInst + "\\Readme.txt="});
    ASSERT_GE(platform::WideLength((cjkInst + "\\Kestrin.exe").c_str()), 250u);
    ASSERT_LE(platform::WideLength((cjkInst + "\\Kestrin.exe").c_str()), 259u);
    WriteText("C:\\Kestrin.exe", "");  // what an empty command must not find
    // clang-format off
    const struct { std::string progId, command, answer, folder; } rows[] = {
        {kProgId, "\"" + exe + "\" \"%1\"", "", inst_},   // found without asking
        {std::string(236, 'Q'), exe, "", inst_},
        {std::string(237, 'P'), exe, "", inst_},           // the key's path past 255 characters
        {kNone, kNone, inst_ + "\\Readme.txt", inst_},     // another file in the right folder
        {kProgId, "\"" + cjkInst + "\\Kestrin.exe\" \"%1\"", "", cjkInst},
        {kNone, kNone, cjkInst + "\\Readme.txt", cjkInst},
        {"", kNone, "", ""},                                // empty ProgID: no association; cancelled
        {std::string(300, 'P'), kNone, "", ""},
        {kProgId, kNone, "", ""},
        {kProgId, "", "", ""},                              // no look in the drive's root
        {kProgId, shared_ + "\\Kestrin.exe %1", "", ""},    // no Kestrin.exe there
        {kProgId, "\"" + exe + "\" /dde \\x", "", ""},      // a backslash in the arguments
        {kProgId, "Kestrin 5.0\\Kestrin.exe", "", ""},     // relative: not taken from the current folder
        {kNone, kNone, shared_ + "\\WMF.F32", ""},          // a chosen folder without Kestrin.exe
    };
    // clang-format on
    for (const auto& r : rows) {
        SCOPED_TRACE(r.progId.substr(0, 20) + " " + r.command + " " + r.answer);
        Associate(r.progId, r.command);
        g_asked.clear();
        g_answers["*.exe"] = r.answer;
        std::string folder;
        EXPECT_EQ(FindInstallFolder(folder), !r.folder.empty());
        EXPECT_EQ(folder, r.folder);
        bool found = r.answer.empty() && !r.folder.empty();
        ASSERT_EQ(g_asked.size(), found ? 0u : 1u);
        if (!found) {
            EXPECT_EQ(g_asked[0].owner, nullptr);
            EXPECT_EQ(g_asked[0].title, platform::LoadText(103));
            EXPECT_EQ(g_asked[0].pattern + g_asked[0].initialName, "*.exeKestrin.exe");
        }
        EXPECT_FALSE(r.command == kNone && KeyExists(HKEY_CLASSES_ROOT, r.progId + "\\shell")) << "no key made";
    }
    RemoveAll("C:\\Kestrin.exe");
}

TEST_F(Discovery, SharedFolderFromTheRegistryElseAskedFor) {
    const std::string cjkShared = At(cjk_ + "\\" + cjk_.substr(0, 180));
    MakeTree(root, {cjkShared + "\\", cjkShared + "\\WMF.F32="});
    ::SetEnvironmentVariableW(L"DV_SHARED", platform::WideOrEmpty(cjkShared.c_str()).c_str());
    // clang-format off
    const struct { std::string value, answer, folder; } rows[] = {
        {shared_, "", shared_}, {"\"" + shared_ + "\"", "", shared_}, {shared_ + "\\", "", shared_},
        {kNone, shared_ + "\\WMF.F32", shared_}, {inst_, "", ""}, {"", "", ""},
        {std::string(300, 'v'), "", ""}, {kNone, inst_ + "\\Kestrin.exe", ""},  // no WMF.F32 there
        {"Vantor", "", ""}, {shared_.substr(2), "", ""},  // relative, to the current folder and drive
        {cjkShared, "", cjkShared},                      // 230 UTF-16 units, over 500 bytes
        {"%DV_SHARED%", "", cjkShared},                  // REG_EXPAND_SZ, expanded
    };
    // clang-format on
    for (const auto& r : rows) {
        SCOPED_TRACE(r.value + " " + r.answer);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vantor Corp.");
        if (r.value != kNone) {
            platform::Key k;
            ASSERT_TRUE(platform::RegCreate(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor", KEY_WRITE, k));
            DWORD type = r.value.find('%') != std::string::npos ? REG_EXPAND_SZ : REG_SZ;
            ASSERT_TRUE(platform::RegWriteText(k.Get(), "Vantor Directory", type, r.value.c_str()));
        }
        g_asked.clear();
        g_answers["*.f32"] = r.answer;
        std::string folder, why;
        EXPECT_EQ(FindSharedFolder(folder, why) == SharedSearch::kFound, !r.folder.empty());
        EXPECT_EQ(folder, r.folder);
        bool asked = !r.answer.empty() || r.folder.empty();
        ASSERT_EQ(g_asked.size(), asked ? 1u : 0u);
        if (asked) {
            EXPECT_EQ(g_asked[0].title + g_asked[0].pattern + g_asked[0].initialName,
                      platform::LoadText(107) + "*.f32WMF.F32");
        }
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vantor Corp.");
    std::string folder, why;
    EXPECT_EQ(FindSharedFolder(folder, why), SharedSearch::kNotFound);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.")) << "reading creates no key";
}
