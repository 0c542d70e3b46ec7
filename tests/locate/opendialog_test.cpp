// The real open-file dialog, driven from a second thread as a user would:
// type a name into the file-name box and press Open, or press Cancel.
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include "platform/opendialog.h"

namespace {

const char kTitle[] = "Open-file dialog test";
const int kFileNameCombo = 0x47c;  // cmb13: the file-name box of the dialog
const int kFileNameEdit = 0x480;   // edt1: the same in the old-style dialog

// Waits for the dialog, then either types `name` and presses Open or cancels.
void Drive(const std::string& name, std::atomic<bool>* found) {
    HWND dlg = nullptr;
    for (int i = 0; i < 200 && !dlg; ++i) {
        dlg = ::FindWindowA("#32770", kTitle);
        if (!dlg) ::Sleep(50);
    }
    *found = dlg != nullptr;
    if (!dlg) return;
    ::Sleep(300);  // let the dialog finish its own start-up
    if (name.empty()) {
        ::PostMessageA(dlg, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (!::SetDlgItemTextA(dlg, kFileNameCombo, name.c_str())) ::SetDlgItemTextA(dlg, kFileNameEdit, name.c_str());
    ::PostMessageA(dlg, WM_COMMAND, IDOK, 0);
}

bool HaveDisplay() {
    char d[8];
    return ::GetEnvironmentVariableA("DISPLAY", d, sizeof d) > 0;
}

std::string Here() {
    char cwd[MAX_PATH];
    ::GetCurrentDirectoryA(sizeof cwd, cwd);
    return cwd;
}

}  // namespace

TEST(OpenDialog, ConfirmsATypedFileAndCancels) {
    if (!HaveDisplay()) GTEST_SKIP() << "no X display";
    std::string file = Here() + "\\opendialog-pick.exe";
    HANDLE h = ::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ::CloseHandle(h);

    std::atomic<bool> found{false};
    std::thread user(Drive, file, &found);
    char out[256] = "";
    bool ok = platform::AskOpenFile(nullptr, kTitle, "*.exe", "Kestrin.exe", out, sizeof out);
    user.join();
    ASSERT_TRUE(found);
    EXPECT_TRUE(ok);
    EXPECT_STREQ(out, file.c_str());

    std::thread cancel(Drive, std::string(), &found);
    ok = platform::AskOpenFile(nullptr, kTitle, "*.exe", "Kestrin.exe", out, sizeof out);
    cancel.join();
    EXPECT_FALSE(ok);
    EXPECT_EQ(::GetLastError(), 0u) << "a cancel is no failure";
    EXPECT_STREQ(out, "");
    ::DeleteFileA(file.c_str());
}

TEST(OpenDialog, RefusesBuffersTooSmallForTheInitialName) {
    char out[4];
    EXPECT_FALSE(platform::AskOpenFile(nullptr, kTitle, "*.exe", "Kestrin.exe", out, sizeof out));
    EXPECT_STREQ(out, "");
    EXPECT_FALSE(platform::AskOpenFile(nullptr, kTitle, "*.exe", "Kestrin.exe", out, 0));
}
