// The updater's start-up pieces, in-process: the command-line switch, the
// message-box title, the dialog base's dispatch, the shell folders and COM.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <cstring>
#include <string>
#include <vector>
#include "app/options.h"
#include "common/ids.h"
#include "app/special_folders.h"
#include "app/startup_error.h"
#include "common/state.h"
#include "platform/dialog.h"
#include "platform/msgbox.h"
#include "platform/shell.h"

// "-d" keeps its rule (the text after the last space); switches before it.
TEST(CommandLine, OptionsTable) {
    struct Case {
        const char* line;
        bool diagnostic, quiet, check;
        const char* folder;
        const char* log;
        const char* bad;
    } cases[] = {
        {"updater.exe -d", true, false, false, "", "", ""},
        {"\"C:\\x y\\updater.exe\" -d", true, false, false, "", "", ""},
        {"updater.exe  -d", true, false, false, "", "", ""},
        {"updater.exe -D", false, false, false, "", "", "-D"},
        {"updater.exe -d ", false, false, false, "", "", "-d"},
        {"updater.exe \"-d\"", false, false, false, "", "", "-d"},
        {"updater.exe\t-d", false, false, false, "", "", "-d"},
        {"updater.exe-d", false, false, false, "", "", ""},
        {"", false, false, false, "", "", ""},
        {"updater.exe /QUIET /dir \"C:\\Program Files\\K 5\" /log c:\\u.log -d", true, true, false,
         "C:\\Program Files\\K 5", "c:\\u.log", ""},
        {"updater.exe /check /quiet", false, true, true, "", "", ""},
        {"updater.exe /dir", false, false, false, "", "", "/dir"},
        {"updater.exe /log -d", true, false, false, "", "", "/log"},
        {"updater.exe /quiet /silent", false, true, false, "", "", "/silent"},
    };
    for (const Case& c : cases) {
        Options o = ParseOptions(c.line);
        SCOPED_TRACE(std::string("[") + c.line + "]");
        EXPECT_EQ(c.diagnostic, o.diagnostic);
        EXPECT_EQ(c.quiet, o.quiet);
        EXPECT_EQ(c.check, o.check);
        EXPECT_EQ(c.folder, o.folder);
        EXPECT_EQ(c.log, o.logPath);
        EXPECT_EQ(c.bad, o.badSwitch);
    }
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
    ShowErrorAndEnd(nullptr, "Bad updater build.", Ending::kBadBuild);
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

// The resources as the executable carries them.
namespace {
#pragma pack(push, 2)
struct IconDirEntry { BYTE width, height, colours, reserved; WORD planes, bits; DWORD size; WORD id; };
struct IconDir { WORD reserved, type, count; IconDirEntry entries[1]; };
#pragma pack(pop)

// Runs template 102 with a plain dialog that records its children.
class TemplateProbe : public platform::Dialog {
public:
    TemplateProbe() : platform::Dialog(IDD_UPDATER) {}
    struct Child { int id; std::string cls, text; LONG style; bool enabled; };
    std::vector<Child> children;
    LONG exStyle = 0;
    std::string caption;

protected:
    bool OnInitDialog() override {
        char buf[256];
        ::GetWindowTextA(Window(), buf, sizeof buf);
        caption = buf;
        exStyle = ::GetWindowLongA(Window(), GWL_EXSTYLE);
        for (HWND c = ::GetWindow(Window(), GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
            char cls[64], text[256];
            ::GetClassNameA(c, cls, sizeof cls);
            ::GetWindowTextA(c, text, sizeof text);
            children.push_back({static_cast<int>(static_cast<short>(::GetDlgCtrlID(c))), cls, text,
                                ::GetWindowLongA(c, GWL_STYLE), ::IsWindowEnabled(c) != 0});
        }
        End(0);
        return true;
    }
};
}  // namespace

TEST(Resources, MainDialogControlsInTemplateOrder) {
    ASSERT_TRUE(platform::InitDialogControls());
    TemplateProbe probe;
    ASSERT_EQ(0, probe.RunModal(nullptr));
    EXPECT_EQ("Kestrin 5.0 to Dovetra 5 Updater", probe.caption);
    EXPECT_TRUE(probe.exStyle & WS_EX_APPWINDOW);
    ASSERT_EQ(6u, probe.children.size());
    const struct { int id; const char* cls; const char* text; } want[] = {
        {1, "Button", "Begin &Update"}, {2, "Button", "Ca&ncel"}, {-1, "Static", nullptr},
        {1001, "Button", "&Change folder"}, {-1, "Static", "Message space"},
        {1000, "msctls_progress32", "Progress1"},
    };
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(want[i].id, probe.children[i].id) << i;
        EXPECT_STRCASEEQ(want[i].cls, probe.children[i].cls.c_str()) << i;
        if (want[i].text) EXPECT_EQ(want[i].text, probe.children[i].text) << i;
    }
    EXPECT_EQ(BS_DEFPUSHBUTTON, probe.children[0].style & 0xF);
    EXPECT_EQ(SS_BITMAP, probe.children[2].style & SS_TYPEMASK);
    EXPECT_TRUE(probe.children[2].style & SS_CENTERIMAGE);
    EXPECT_FALSE(probe.children[2].enabled);
    EXPECT_TRUE(probe.children[4].style & SS_NOTIFY);
    for (int i : {0, 1, 3}) EXPECT_TRUE(probe.children[i].enabled) << i;
}

TEST(Resources, ManifestAsksForCommonControls6AndAdministrator) {
    HMODULE self = ::GetModuleHandleA(nullptr);
    HRSRC r = ::FindResourceA(self, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
    ASSERT_NE(nullptr, r);
    auto* text = static_cast<const char*>(::LockResource(::LoadResource(self, r)));
    std::string manifest(text, ::SizeofResource(self, r));
    EXPECT_NE(std::string::npos, manifest.find("Microsoft.Windows.Common-Controls"));
    EXPECT_NE(std::string::npos, manifest.find("version=\"6.0.0.0\""));
    EXPECT_NE(std::string::npos, manifest.find("requireAdministrator"));
    EXPECT_NE(std::string::npos, manifest.find("<dpiAware"));
}
