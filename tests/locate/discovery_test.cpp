// Discovery through the real registry of a throwaway Wine prefix, and the
// open-file questions through the recorder of tests/support.
#include <gtest/gtest.h>
#include <string>
#include "common/path.h"
#include "common/state.h"
#include "locate/discovery.h"
#include "platform/reg.h"
#include "platform/strings.h"
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
    std::string inst_, shared_;
};

}  // namespace

TEST_F(Discovery, InstallFolderFromTheAssociationElseAskedFor) {
    const std::string exe = inst_ + "\\Kestrin.exe";
    WriteText("C:\\Kestrin.exe", "");  // what an empty command must not find
    // clang-format off
    const struct { std::string progId, command, answer, folder; } rows[] = {
        {kProgId, "\"" + exe + "\" \"%1\"", "", inst_},   // found without asking
        {std::string(236, 'Q'), exe, "", inst_},           // 236 + "\shell\open\command" is 255
        {kNone, kNone, inst_ + "\\Readme.txt", inst_},     // another file in the right folder
        {"", kNone, "", ""},                                // empty ProgID: no association; cancelled
        {std::string(237, 'P'), exe, "", ""},                // 256: the key's name does not fit
        {std::string(300, 'P'), kNone, "", ""},
        {kProgId, kNone, "", ""},
        {kProgId, "", "", ""},                              // no look in the drive's root
        {kProgId, shared_ + "\\Kestrin.exe %1", "", ""},    // no Kestrin.exe there
        {kProgId, "\"" + exe + "\" /dde \\x", "", ""},      // a backslash in the arguments
        {kProgId, "Kestrin 5.0\\Kestrin.exe", "", ""},     // relative: not taken from the current folder
        {kNone, kNone, shared_ + "\\WMF.F32", ""},          // a chosen folder without Kestrin.exe
        {kNone, kNone, "C:\\" + std::string(240, 'z') + "\\a.exe", ""},  // folder + marker too long
    };
    // clang-format on
    for (const auto& r : rows) {
        SCOPED_TRACE(r.progId.substr(0, 20) + " " + r.command + " " + r.answer);
        Associate(r.progId, r.command);
        g_asked.clear();
        g_answers["*.exe"] = r.answer;
        char folder[kPathCap] = "";
        EXPECT_EQ(FindInstallFolder(folder), !r.folder.empty());
        EXPECT_EQ(std::string(folder), r.folder);
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
    ::SetEnvironmentVariableA("DV_SHARED", shared_.c_str());
    // clang-format off
    const struct { std::string value, answer; bool found; } rows[] = {
        {shared_, "", true}, {"\"" + shared_ + "\"", "", true}, {shared_ + "\\", "", true},
        {kNone, shared_ + "\\WMF.F32", true}, {inst_, "", false}, {"", "", false},
        {std::string(300, 'v'), "", false}, {kNone, inst_ + "\\Kestrin.exe", false},  // no WMF.F32 there
        {"Vantor", "", false}, {shared_.substr(2), "", false},  // relative, to the current folder and drive
        {"%DV_SHARED%", "", true},                               // REG_EXPAND_SZ, expanded
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
        char folder[kPathCap] = "";
        EXPECT_EQ(FindSharedFolder(folder), r.found);
        EXPECT_EQ(std::string(folder), r.found ? shared_ : "");
        bool asked = !r.answer.empty() || !r.found;
        ASSERT_EQ(g_asked.size(), asked ? 1u : 0u);
        if (asked) {
            EXPECT_EQ(g_asked[0].title + g_asked[0].pattern + g_asked[0].initialName,
                      platform::LoadText(107) + "*.f32WMF.F32");
        }
    }
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vantor Corp.");
    char folder[kPathCap];
    EXPECT_FALSE(FindSharedFolder(folder));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.")) << "reading creates no key";
}
