// Discovery through the real registry of a throwaway Wine prefix, and the
// open-file dialogs through the hook.
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "common/state.h"
#include "locate/discovery.h"
#include "common/path.h"
#include "platform/file.h"
#include "platform/opendialog.h"
#include "platform/reg.h"
#include "platform/strings.h"

namespace {

// What the open-file dialog was asked, and how the user answers.
struct Asked {
    HWND owner;
    std::string title, pattern, initialName;
};
struct User {
    std::string answer;  // empty: cancel
    std::vector<Asked> asked;
} g_user;

bool Answer(HWND owner, const char* title, const char* pattern, const char* initialName, char* out, DWORD cap) {
    g_user.asked.push_back({owner, title, pattern, initialName});
    if (g_user.answer.empty() || g_user.answer.size() >= cap) return false;
    std::strcpy(out, g_user.answer.c_str());
    return true;
}

const char kProgId[] = "Kestrin.Document.5";

void SetDefault(HKEY root, const std::string& path, const std::string& value) {
    platform::Key k;
    ASSERT_TRUE(platform::RegCreate(root, path.c_str(), KEY_WRITE, k)) << path;
    ASSERT_TRUE(platform::RegWriteText(k.Get(), nullptr, REG_SZ, value.c_str()));
}

bool KeyExists(HKEY root, const std::string& path) {
    platform::Key k;
    return platform::RegOpen(root, path.c_str(), KEY_READ, k);
}

void MakeFile(const std::string& path) {
    platform::Handle h;
    platform::CreateNew(path.c_str(), h);
}

class Discovery : public ::testing::Test {
protected:
    void SetUp() override {
        ResetUpdaterState();
        Clean();
        char cwd[MAX_PATH];
        ::GetCurrentDirectoryA(sizeof cwd, cwd);
        dir_ = std::string(cwd) + "\\scratch-discovery";
        inst_ = dir_ + "\\Kestrin 5.0";
        shared_ = dir_ + "\\Vantor";
        ::CreateDirectoryA(dir_.c_str(), nullptr);
        ::CreateDirectoryA(inst_.c_str(), nullptr);
        ::CreateDirectoryA(shared_.c_str(), nullptr);
        MakeFile(inst_ + "\\Kestrin.exe");
        MakeFile(inst_ + "\\Readme.txt");
        MakeFile(shared_ + "\\WMF.F32");
        g_user = User{};
        platform::SetOpenFileHook(Answer);
    }
    void TearDown() override {
        platform::SetOpenFileHook(nullptr);
        Clean();
        ::SetCurrentDirectoryA(dir_.c_str());
        ::SetCurrentDirectoryA("..");
        for (const char* f : {"\\Kestrin.exe", "\\Readme.txt"}) ::DeleteFileA((inst_ + f).c_str());
        ::DeleteFileA((shared_ + "\\WMF.F32").c_str());
        ::RemoveDirectoryA(inst_.c_str());
        ::RemoveDirectoryA(shared_.c_str());
        ::RemoveDirectoryA(dir_.c_str());
    }
    static void Clean() {
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ".ksd");
        ::RegDeleteTreeA(HKEY_CLASSES_ROOT, kProgId);
        ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Vantor Corp.");
    }
    void Associate(const std::string& command) {
        SetDefault(HKEY_CLASSES_ROOT, ".ksd", kProgId);
        SetDefault(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\shell\\open\\command", command);
    }
    void SetVantorDirectory(const std::string& value) {
        platform::Key k;
        ASSERT_TRUE(platform::RegCreate(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor", KEY_WRITE, k));
        ASSERT_TRUE(platform::RegWriteText(k.Get(), "Vantor Directory", REG_SZ, value.c_str()));
    }
    std::string dir_, inst_, shared_;
};

}  // namespace

TEST_F(Discovery, QuotedOpenCommandGivesTheFolderWithoutAsking) {
    Associate("\"" + inst_ + "\\Kestrin.exe\" \"%1\"");
    char command[kPathCap];
    ASSERT_TRUE(LookupOpenCommand(".ksd", command, sizeof command));
    EXPECT_EQ(std::string(command), inst_ + "\\Kestrin.exe\" \"%1");
    char folder[kPathCap];
    ASSERT_TRUE(FindInstallFolder(folder));
    EXPECT_EQ(std::string(folder), inst_);
    EXPECT_TRUE(g_user.asked.empty());
}

TEST_F(Discovery, MissingAssociationAsksTheUser) {
    char command[kPathCap] = "junk";
    EXPECT_FALSE(LookupOpenCommand(".ksd", command, sizeof command));
    EXPECT_STREQ(command, "");
    g_user.answer = inst_ + "\\Readme.txt";  // another file in the right folder
    char folder[kPathCap];
    ASSERT_TRUE(FindInstallFolder(folder));
    EXPECT_EQ(std::string(folder), inst_);
    ASSERT_EQ(g_user.asked.size(), 1u);
    EXPECT_EQ(g_user.asked[0].owner, nullptr);
    EXPECT_EQ(g_user.asked[0].title, platform::LoadText(103));
    EXPECT_EQ(g_user.asked[0].pattern, "*.exe");
    EXPECT_EQ(g_user.asked[0].initialName, "Kestrin.exe");
}

TEST_F(Discovery, EmptyProgIdIsNoAssociation) {
    SetDefault(HKEY_CLASSES_ROOT, ".ksd", "");
    char command[kPathCap];
    EXPECT_FALSE(LookupOpenCommand(".ksd", command, sizeof command));
    char folder[kPathCap];
    EXPECT_FALSE(FindInstallFolder(folder)) << "the user cancels";
    EXPECT_EQ(g_user.asked.size(), 1u);
}

TEST_F(Discovery, LookupCreatesNoKey) {
    SetDefault(HKEY_CLASSES_ROOT, ".ksd", kProgId);
    SetDefault(HKEY_CLASSES_ROOT, kProgId, "Kestrin Document");
    char command[kPathCap];
    EXPECT_FALSE(LookupOpenCommand(".ksd", command, sizeof command));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\shell"));
    char folder[kPathCap];
    EXPECT_FALSE(FindInstallFolder(folder));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\shell\\open"));
    EXPECT_FALSE(FindSharedFolder(folder));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp.\\Vantor"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Vantor Corp."));
}

TEST_F(Discovery, OverLongProgIdIsNotFound) {
    for (size_t n : {size_t(236), size_t(255), size_t(300)}) {
        SetDefault(HKEY_CLASSES_ROOT, ".ksd", std::string(n, 'P'));
        char command[kPathCap];
        EXPECT_FALSE(LookupOpenCommand(".ksd", command, sizeof command)) << n;
        EXPECT_STREQ(command, "");
    }
    // Just short enough: 235 + "\shell\open\command" is 255 characters.
    std::string progId(235, 'Q');
    SetDefault(HKEY_CLASSES_ROOT, ".ksd", progId);
    SetDefault(HKEY_CLASSES_ROOT, progId + "\\shell\\open\\command", inst_ + "\\Kestrin.exe");
    char command[kPathCap];
    EXPECT_TRUE(LookupOpenCommand(".ksd", command, sizeof command));
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, progId.c_str());
}

TEST_F(Discovery, CommandFolderWithoutTheMarkerAsks) {
    Associate(shared_ + "\\Kestrin.exe %1");
    char folder[kPathCap];
    EXPECT_FALSE(FindInstallFolder(folder));
    EXPECT_EQ(g_user.asked.size(), 1u);
    // A backslash in the arguments gives a wrong folder too.
    g_user = User{};
    Associate("\"" + inst_ + "\\Kestrin.exe\" /dde \\x");
    EXPECT_FALSE(FindInstallFolder(folder));
    EXPECT_EQ(g_user.asked.size(), 1u);
    // An empty command is no command: no look in the drive's root.
    g_user = User{};
    Associate("");
    char command[kPathCap];
    EXPECT_FALSE(LookupOpenCommand(".ksd", command, sizeof command));
}

TEST_F(Discovery, ChosenFolderWithoutTheMarkerIsRefused) {
    g_user.answer = shared_ + "\\WMF.F32";
    char folder[kPathCap] = "";
    EXPECT_FALSE(FindInstallFolder(folder));
    EXPECT_STREQ(folder, "");
}

TEST_F(Discovery, OverLongChosenPathIsRefused) {
    g_user.answer = "C:\\" + std::string(240, 'z') + "\\a.exe";  // folder fits, folder + marker does not
    char folder[kPathCap] = "";
    EXPECT_FALSE(FindInstallFolder(folder));
    EXPECT_STREQ(folder, "");
}

TEST_F(Discovery, SharedFolderFromTheRegistry) {
    struct { std::string value; bool found; } rows[] = {
        {shared_, true}, {"\"" + shared_ + "\"", true}, {shared_ + "\\", true},
        {inst_, false}, {"", false}, {std::string(300, 'v'), false},
    };
    for (auto& r : rows) {
        SetVantorDirectory(r.value);
        g_user = User{};
        char folder[kPathCap] = "";
        EXPECT_EQ(FindSharedFolder(folder), r.found) << r.value;
        if (r.found) {
            EXPECT_EQ(std::string(folder), shared_) << r.value;
            EXPECT_TRUE(g_user.asked.empty());
        } else {
            ASSERT_EQ(g_user.asked.size(), 1u) << r.value;
            EXPECT_EQ(g_user.asked[0].title, platform::LoadText(107));
            EXPECT_EQ(g_user.asked[0].pattern, "*.f32");
            EXPECT_EQ(g_user.asked[0].initialName, "WMF.F32");
        }
    }
}

TEST_F(Discovery, SharedFolderChosenByTheUser) {
    g_user.answer = shared_ + "\\WMF.F32";
    char folder[kPathCap];
    ASSERT_TRUE(FindSharedFolder(folder));
    EXPECT_EQ(std::string(folder), shared_);
    g_user.answer = inst_ + "\\Kestrin.exe";
    EXPECT_FALSE(FindSharedFolder(folder)) << "a folder without WMF.F32";
}
