// The updater's start-up pieces, in-process: the command-line switch, the
// message-box title, the dialog base's dispatch, the shell folders and COM.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <cstring>
#include <string>
#include "app/command_line.h"
#include "app/resource.h"
#include "app/special_folders.h"
#include "app/startup_error.h"
#include "app/state.h"
#include "platform/dialog.h"
#include "platform/msgbox.h"
#include "platform/shell.h"

TEST(CommandLine, DiagnosticSwitchOnlyAsTheLastSpaceSeparatedWord) {
    struct Case { const char* line; bool on; } cases[] = {
        {"updater.exe -d", true},
        {"\"C:\\x y\\updater.exe\" -d", true},
        {"updater.exe other words -d", true},
        {"updater.exe  -d", true},
        {"updater.exe -D", false},
        {"updater.exe -d more", false},
        {"updater.exe -d ", false},
        {"updater.exe \"-d\"", false},
        {"updater.exe\t-d", false},
        {"updater.exe-d", false},
        {"-d", false},
        {"", false},
        {"updater.exe -dd", false},
        {"updater.exe d", false},
        {"updater.exe -", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.on, IsDiagnosticCommandLine(c.line)) << "[" << c.line << "]";
}

TEST(CommandLine, ParseLeavesModeOffForThisTestsCommandLine) {
    ResetUpdaterState();
    ParseCommandLine();  // ctest passes --gtest_brief=1 last, never -d
    EXPECT_FALSE(g_state.diagnostic);
}

TEST(StartupError, TitleIsTheFileNameWithoutExtension) {
    EXPECT_EQ("updater", NameWithoutExtension("C:\\Program Files\\x\\updater.exe"));
    EXPECT_EQ("up.date.r", NameWithoutExtension("C:\\a.b\\up.date.r.exe"));
    EXPECT_EQ("updater", NameWithoutExtension("updater"));
    EXPECT_EQ("noext", NameWithoutExtension("C:\\dir.d\\noext"));
    EXPECT_EQ("x", NameWithoutExtension("/unix/style/x.exe"));
    EXPECT_EQ("", NameWithoutExtension(""));
    EXPECT_EQ("app_test", ApplicationName());
}

namespace {
struct Box { HWND owner; std::string text, title; UINT flags; int calls; } g_box;
int RecordBox(HWND owner, const char* text, const char* title, UINT flags) {
    g_box = {owner, text, title, flags, g_box.calls + 1};
    return IDOK;
}
}  // namespace

TEST(StartupError, MessageIsOkOnlyWithoutIconAndTitledWithTheProgram) {
    g_box = {};
    platform::SetMessageHook(RecordBox);
    ShowErrorAndEnd(nullptr, "Bad updater build.", 1);
    platform::SetMessageHook(nullptr);
    EXPECT_EQ(1, g_box.calls);
    EXPECT_EQ("Bad updater build.", g_box.text);
    EXPECT_EQ("app_test", g_box.title);
    EXPECT_EQ(static_cast<UINT>(MB_OK), g_box.flags);
}

// A dialog over the About template that scripts itself from its handlers.
class ScriptedDialog : public platform::Dialog {
public:
    enum Script { kEndAtInit, kEndOnTimer, kCancelCommand, kSystemCommand };
    explicit ScriptedDialog(Script s) : platform::Dialog(IDD_ABOUTBOX), script_(s) {}
    int initCalls = 0;
    WPARAM sysCommand = 0;

protected:
    bool OnInitDialog() override {
        ++initCalls;
        HWND w = Window();
        switch (script_) {
        case kEndAtInit: End(7); break;
        case kEndOnTimer: platform::StartTimer(w, 1, 10); break;
        case kCancelCommand: ::PostMessageA(w, WM_COMMAND, IDCANCEL, 0); break;
        case kSystemCommand: ::PostMessageA(w, WM_SYSCOMMAND, 0x13, 0); break;
        }
        return true;
    }
    void OnTimer(UINT_PTR id) override { End(static_cast<INT_PTR>(100 + id)); }
    bool OnSysCommand(WPARAM command) override {
        sysCommand = command;
        End(9);
        return true;
    }

private:
    Script script_;
};

TEST(Dialog, EndDuringInitialisationReturnsAtOnce) {
    ScriptedDialog d(ScriptedDialog::kEndAtInit);
    EXPECT_EQ(7, d.RunModal(nullptr));
    EXPECT_EQ(1, d.initCalls);
}

TEST(Dialog, TimerReachesItsHandler) {
    ScriptedDialog d(ScriptedDialog::kEndOnTimer);
    EXPECT_EQ(101, d.RunModal(nullptr));
}

TEST(Dialog, CancelCommandEndsWithCancel) {
    ScriptedDialog d(ScriptedDialog::kCancelCommand);
    EXPECT_EQ(IDCANCEL, d.RunModal(nullptr));
}

TEST(Dialog, SystemCommandReachesItsHandler) {
    ScriptedDialog d(ScriptedDialog::kSystemCommand);
    EXPECT_EQ(9, d.RunModal(nullptr));
    EXPECT_EQ(0x13u, d.sysCommand);
}

TEST(Dialog, MissingTemplateFails) {
    class Missing : public platform::Dialog {
    public:
        Missing() : platform::Dialog(4242) {}
    } d;
    EXPECT_EQ(-1, d.RunModal(nullptr));
}

TEST(Shell, SpecialFolderFitsOrFailsWithoutWritingPastTheBuffer) {
    char path[kPathCap];
    ASSERT_TRUE(platform::SpecialFolderPath(nullptr, CSIDL_COMMON_PROGRAMS, path, sizeof path));
    std::string p = path;
    EXPECT_EQ("Programs", p.substr(p.size() - 8));
    char small[12];
    std::memset(small, 'x', sizeof small);
    EXPECT_FALSE(platform::SpecialFolderPath(nullptr, CSIDL_COMMON_PROGRAMS, small, 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_OVERFLOW), ::GetLastError());
    EXPECT_EQ('\0', small[0]);
    EXPECT_EQ('x', small[8]);
}

TEST(Shell, StartMenuAndDesktopFoldersAreFound) {
    ResetUpdaterState();
    ASSERT_TRUE(GetStartMenuProgramsFolder(nullptr));
    ASSERT_TRUE(GetDesktopFolder(nullptr));
    EXPECT_NE(nullptr, std::strstr(g_state.startMenuProgramsFolder, "Programs"));
    EXPECT_NE(nullptr, std::strstr(g_state.desktopFolder, "Desktop"));
    size_t n = std::strlen(g_state.desktopFolder);
    ASSERT_GT(n, 0u);
    EXPECT_NE('\\', g_state.desktopFolder[n - 1]);
}

TEST(Shell, ComCountsOnlyAPlainFirstInitialisation) {
    ASSERT_TRUE(platform::InitializeCom());
    EXPECT_FALSE(platform::InitializeCom());  // S_FALSE: initialised already
    EXPECT_EQ(static_cast<DWORD>(S_FALSE), ::GetLastError());
    platform::UninitializeCom();
    platform::UninitializeCom();
}
