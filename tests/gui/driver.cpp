// A driver for the updater's windows, run under Wine beside the updater so
// that test scripts can act as the user. One command per run; exit code 0 on
// success, 1 when the window or control is not there (in time), 2 on misuse.
//
//   driver wait-window CAPTION [SECONDS]    waits until a top window has CAPTION
//   driver wait-gone CAPTION [SECONDS]      waits until none has
//   driver text CAPTION ID                  prints control ID's text
//   driver nth-text CAPTION N               prints the text of child N (0 first)
//   driver enabled CAPTION ID               prints "enabled" or "disabled"
//   driver progress CAPTION ID              prints a progress bar's position
//   driver click CAPTION ID                 clicks button ID
//   driver sysmenu CAPTION COMMAND          sends a system-menu command
//   driver minimize|restore CAPTION
//   driver rect CAPTION                     prints x y width height on screen
//   driver msgbox-text TITLE [SECONDS]      waits for a message box, prints its text
//   driver msgbox-buttons TITLE             prints the ids of its visible buttons
//   driver msgbox-icon TITLE                prints "icon" or "no icon"
//   driver msgbox-answer TITLE [ID]         presses button ID (default OK)
//   driver openfile TITLE PATH [SECONDS]    types PATH into an open-file dialog (TITLE "" for
//                                           any), confirms
//   driver cancel-openfile [TITLE] [SECONDS]
//   driver mklink LINK TARGET [""] [DESC]   writes a shortcut file (arguments: none)
//   driver link-info LINK                   prints a shortcut's target, then its description
//   driver launch PROGRAM LINE              starts PROGRAM with the command line LINE as given
//                                           (a launcher's way), waits, exits with its code
//   driver hold PATH [SECONDS] [SHARE]      opens PATH allowing no sharing (or the FILE_SHARE_ bits
//                                           SHARE) and keeps it open until PATH.release exists (or
//                                           SECONDS, default 120, pass); a folder PATH is made the
//                                           current directory instead, as a command prompt holds it
//   driver hold-mutex NAME PATH [SECONDS]   creates the mutex NAME as any program may, writes PATH,
//                                           and keeps it until PATH is gone (or SECONDS pass)
//   driver hive save FILE                   saves HKEY_CURRENT_USER as a hive file (a user's NTUSER.DAT)
//   driver hive load|unload NAME [FILE]     loads FILE below HKEY_USERS as NAME, or unloads NAME
//
// CAPTION and TITLE are exact window texts. Control ids are decimal or 0x hex.
#include <windows.h>
#include <objbase.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include "platform/shelllink.h"

namespace {

const int kOpenFileNameEdit = 0x47C;  // edt1 / cmb13 of the common open dialog
const int kMessageBoxText = 0xFFFF;
const int kMessageBoxIcon = 0x440;  // stc1, the box's icon

int Id(const char* s) { return static_cast<int>(std::strtol(s, nullptr, 0)); }

// Polls every 100 ms until `found` gives a window or `seconds` have passed.
template <class Find>
HWND Poll(double seconds, Find found) {
    for (int waited = 0;; waited += 100) {
        if (HWND w = found()) return w;
        if (waited >= seconds * 1000) return nullptr;
        Sleep(100);
    }
}

// A visible top-level window by caption (and class, when given).
HWND Need(const char* cls, const char* caption, double seconds) {
    HWND w = Poll(seconds, [&] {
        HWND v = FindWindowA(cls, caption);
        return v && IsWindowVisible(v) ? v : nullptr;
    });
    if (!w) std::fprintf(stderr, "driver: no window \"%s\"\n", caption);
    return w;
}

HWND NeedControl(HWND w, int id) {
    HWND c = w ? GetDlgItem(w, id) : nullptr;
    if (w && !c) std::fprintf(stderr, "driver: no control %d\n", id);
    return c;
}

int PrintText(HWND c) {
    if (!c) return 1;
    char buf[4096] = "";
    SendMessageA(c, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
    std::printf("%s\n", buf);
    return 0;
}

int Post(HWND w, UINT msg, WPARAM wp, LPARAM lp = 0) {
    if (!w) return 1;
    PostMessageA(w, msg, wp, lp);
    return 0;
}

// The open-file dialog of this machine: a visible #32770 with the file-name control.
struct OpenFind {
    const char* title;
    HWND found;
};
BOOL CALLBACK FindOpenDialog(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<OpenFind*>(lp);
    char cls[16] = "", title[512] = "";
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    if (std::strcmp(cls, "#32770") || !IsWindowVisible(w) || !GetDlgItem(w, kOpenFileNameEdit)) return TRUE;
    if (f->title && std::strcmp(title, f->title)) return TRUE;
    f->found = w;
    return FALSE;
}

HWND NeedOpenDialog(const char* title, double seconds) {
    HWND d = Poll(seconds, [&] {
        OpenFind f{title, nullptr};
        EnumWindows(FindOpenDialog, reinterpret_cast<LPARAM>(&f));
        return f.found;
    });
    if (!d) std::fprintf(stderr, "driver: no open-file dialog \"%s\"\n", title ? title : "*");
    return d;
}

int PressOpenFile(HWND d, int button, const char* path) {
    if (!d) return 1;
    HWND name = GetDlgItem(d, kOpenFileNameEdit);
    // Newer dialogs have a combo box there; its edit takes the text.
    if (HWND edit = FindWindowExA(name, nullptr, "Edit", nullptr)) name = edit;
    if (path) SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    return Post(d, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, button)));
}

int MessageBoxButtons(HWND box) {
    if (!box) return 1;
    std::string ids;
    for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
        HWND b = GetDlgItem(box, id);
        if (b && IsWindowVisible(b)) ids += (ids.empty() ? "" : " ") + std::to_string(id);
    }
    std::printf("%s\n", ids.c_str());
    return 0;
}

// Writes or reads a shortcut through the same link object the updater uses.
int Link(const char* link, const char* target, const char* desc) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    bool ok;
    {
        platform::ShellLink sl;
        std::string path, text;
        if (target) {
            ok = sl.Create() && sl.SetPath(target) && (!desc || sl.SetDescription(desc)) && sl.Save(link);
        } else if ((ok = sl.Create() && sl.Load(link) && sl.GetPath(path) && sl.GetDescription(text))) {
            std::printf("%s\n%s\n", path.c_str(), text.c_str());
        }
    }
    CoUninitialize();
    if (!ok) std::fprintf(stderr, "driver: shortcut %s failed\n", link);
    return ok ? 0 : 1;
}

// A program that holds a file open without sharing, as an editor or a
// running suite would, or a folder as its current directory.
int Hold(const char* path, double seconds, DWORD share) {
    DWORD a = GetFileAttributesA(path);
    bool folder = a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
    HANDLE h = folder ? nullptr : CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (folder ? !SetCurrentDirectoryA(path) : h == INVALID_HANDLE_VALUE) return 1;
    std::string release = std::string(path) + ".release";
    Poll(seconds, [&] { return GetFileAttributesA(release.c_str()) != INVALID_FILE_ATTRIBUTES ? HWND(1) : nullptr; });
    if (folder)
        SetCurrentDirectoryA("C:\\");
    else
        CloseHandle(h);
    DeleteFileA(release.c_str());
    return 0;
}

// A program that took an update's lock name before the update did.
int HoldMutex(const char* name, const char* path, double seconds) {
    HANDLE m = CreateMutexA(nullptr, FALSE, name);
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (!m || f == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(f);
    Poll(seconds, [&] { return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES ? HWND(1) : nullptr; });
    CloseHandle(m);
    return 0;
}

// As a deployment tool starts a program: its path given apart, the command
// line passed on exactly as written (the path in it may be unquoted).
int Launch(const char* program, const char* line) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string copy = line;
    if (!CreateProcessA(program, &copy[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 255;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

// A user's hive as the system loads it at logon ("reg save/load/unload",
// which Wine's reg lacks).
int Hive(int argc, char** argv) {
    std::string how = argv[2];
    for (const char* p : {"SeBackupPrivilege", "SeRestorePrivilege"}) {
        HANDLE t;
        TOKEN_PRIVILEGES tp{1, {{{0, 0}, SE_PRIVILEGE_ENABLED}}};
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &t)) return 1;
        LookupPrivilegeValueA(nullptr, p, &tp.Privileges[0].Luid);
        AdjustTokenPrivileges(t, FALSE, &tp, 0, nullptr, nullptr);
        CloseHandle(t);
    }
    LONG rc = ERROR_INVALID_PARAMETER;
    if (how == "save" && argc > 3) {
        DeleteFileA(argv[3]);
        rc = RegSaveKeyA(HKEY_CURRENT_USER, argv[3], nullptr);
    } else if (how == "load" && argc > 4) {
        rc = RegLoadKeyA(HKEY_USERS, argv[3], argv[4]);
    } else if (how == "unload" && argc > 3) {
        rc = RegUnLoadKeyA(HKEY_USERS, argv[3]);
    }
    if (rc) std::fprintf(stderr, "driver: hive %s: error %ld\n", how.c_str(), rc);
    return rc ? 1 : 0;
}

int Usage() {
    std::fprintf(stderr, "usage: driver COMMAND ARGS (see driver.cpp)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const std::string cmd = argv[1];
    const char* a = argv[2];
    auto seconds = [&](int i) { return argc > i ? std::atof(argv[i]) : 20; };
    if (cmd == "wait-window") return Need(nullptr, a, seconds(3)) ? 0 : 1;
    if (cmd == "wait-gone")
        return Poll(seconds(3), [&] { return FindWindowA(nullptr, a) ? nullptr : HWND(1); }) ? 0 : 1;
    if (cmd == "msgbox-text") return PrintText(NeedControl(Need("#32770", a, seconds(3)), kMessageBoxText));
    if (cmd == "msgbox-buttons") return MessageBoxButtons(Need("#32770", a, 20));
    if (cmd == "msgbox-icon") {
        HWND box = Need("#32770", a, 20);
        if (!box) return 1;
        HWND icon = GetDlgItem(box, kMessageBoxIcon);
        bool shown = icon && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
        std::printf("%s\n", shown ? "icon" : "no icon");
        return 0;
    }
    if (cmd == "msgbox-answer")
        return Post(NeedControl(Need("#32770", a, 20), argc > 3 ? Id(argv[3]) : IDOK), BM_CLICK, 0);
    if (cmd == "openfile" && argc > 3)
        return PressOpenFile(NeedOpenDialog(*a ? a : nullptr, seconds(4)), IDOK, argv[3]);
    if (cmd == "cancel-openfile") return PressOpenFile(NeedOpenDialog(*a ? a : nullptr, seconds(3)), IDCANCEL, nullptr);
    if (cmd == "mklink" && argc > 3) {
        if (argc > 4 && *argv[4]) return Usage();
        return Link(a, argv[3], argc > 5 ? argv[5] : nullptr);
    }
    if (cmd == "link-info") return Link(a, nullptr, nullptr);
    if (cmd == "hive") return Hive(argc, argv);
    if (cmd == "hold") return Hold(a, argc > 3 ? std::atof(argv[3]) : 120, argc > 4 ? Id(argv[4]) : 0);
    if (cmd == "hold-mutex" && argc > 3) return HoldMutex(a, argv[3], argc > 4 ? std::atof(argv[4]) : 120);
    if (cmd == "launch" && argc > 3) return Launch(a, argv[3]);
    HWND w = Need(nullptr, a, 5);
    if (cmd == "minimize" || cmd == "restore") return Post(w, WM_SYSCOMMAND, cmd[0] == 'm' ? SC_MINIMIZE : SC_RESTORE);
    if (cmd == "rect") {
        RECT r;
        if (!w || !GetWindowRect(w, &r)) return 1;
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    if (argc < 4) return Usage();
    if (!w) return 1;
    if (cmd == "sysmenu") return Post(w, WM_SYSCOMMAND, Id(argv[3]));
    if (cmd == "nth-text") {
        HWND c = GetWindow(w, GW_CHILD);
        for (int i = Id(argv[3]); i > 0 && c; --i) c = GetWindow(c, GW_HWNDNEXT);
        return PrintText(c);
    }
    HWND c = NeedControl(w, Id(argv[3]));
    if (cmd == "text") return PrintText(c);
    if (cmd == "click") return Post(c, BM_CLICK, 0);
    if (!c) return 1;
    if (cmd == "enabled") return std::printf("%s\n", IsWindowEnabled(c) ? "enabled" : "disabled") < 0;
    if (cmd == "progress") return std::printf("%d\n", static_cast<int>(SendMessageA(c, PBM_GETPOS, 0, 0))) < 0;
    return Usage();
}
