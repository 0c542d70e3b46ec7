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
//   driver mklink LINK TARGET [ARGS] [DESC] writes a shortcut file
//   driver link-info LINK                   prints a shortcut's target, then its description
//
// CAPTION and TITLE are exact window texts. Control ids are decimal or 0x hex.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <commctrl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "platform/shelllink.h"

namespace {

const int kOpenFileNameEdit = 0x47C;  // edt1 / cmb13 of the common open dialog
const int kMessageBoxText = 0xFFFF;
const int kMessageBoxIcon = 0x440;    // stc1, the box's icon

int Id(const char* s) { return static_cast<int>(std::strtol(s, nullptr, 0)); }
double Seconds(int argc, char** argv, int i, double fallback) {
    return argc > i ? std::atof(argv[i]) : fallback;
}

// Polls for a top-level window by caption (and class, when given).
HWND WaitFor(const char* cls, const char* caption, double seconds) {
    for (int waited = 0;; waited += 100) {
        HWND w = FindWindowA(cls, caption);
        if (w && IsWindowVisible(w)) return w;
        if (waited >= seconds * 1000) return nullptr;
        Sleep(100);
    }
}

HWND Need(const char* caption, double seconds = 5) {
    HWND w = WaitFor(nullptr, caption, seconds);
    if (!w) std::fprintf(stderr, "driver: no window \"%s\"\n", caption);
    return w;
}

HWND NeedBox(const char* title, double seconds = 20) {
    HWND w = WaitFor("#32770", title, seconds);
    if (!w) std::fprintf(stderr, "driver: no dialog box \"%s\"\n", title);
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

int Click(HWND c) {
    if (!c) return 1;
    PostMessageA(c, BM_CLICK, 0, 0);
    return 0;
}

// The open-file dialog of this machine: a #32770 with the file-name control.
struct OpenFind { const char* title; HWND found; };
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

HWND WaitOpenDialog(const char* title, double seconds) {
    for (int waited = 0;; waited += 100) {
        OpenFind f = {title, nullptr};
        EnumWindows(FindOpenDialog, reinterpret_cast<LPARAM>(&f));
        if (f.found) return f.found;
        if (waited >= seconds * 1000) break;
        Sleep(100);
    }
    std::fprintf(stderr, "driver: no open-file dialog \"%s\"\n", title ? title : "*");
    return nullptr;
}

int OpenFile(const char* title, const char* path, double seconds) {
    HWND d = WaitOpenDialog(title, seconds);
    if (!d) return 1;
    HWND name = GetDlgItem(d, kOpenFileNameEdit);
    // Newer dialogs have a combo box there; its edit takes the text.
    if (HWND edit = FindWindowExA(name, nullptr, "Edit", nullptr)) name = edit;
    SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, IDOK)));
    return 0;
}

int CancelOpenFile(const char* title, double seconds) {
    HWND d = WaitOpenDialog(title, seconds);
    if (!d) return 1;
    PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(d, IDCANCEL)));
    return 0;
}

int MessageBoxButtons(HWND box) {
    if (!box) return 1;
    const int ids[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO};
    const char* sep = "";
    for (int id : ids) {
        HWND b = GetDlgItem(box, id);
        if (b && IsWindowVisible(b)) { std::printf("%s%d", sep, id); sep = " "; }
    }
    std::printf("\n");
    return 0;
}

int MessageBoxIcon(HWND box) {
    if (!box) return 1;
    HWND icon = GetDlgItem(box, kMessageBoxIcon);
    bool shown = icon && IsWindowVisible(icon) && SendMessageA(icon, STM_GETICON, 0, 0) != 0;
    std::printf("%s\n", shown ? "icon" : "no icon");
    return 0;
}

int MakeLink(const char* link, const char* target, const char* args, const char* desc) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    IShellLinkA* sl = nullptr;
    IPersistFile* pf = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                  reinterpret_cast<void**>(&sl));
    if (SUCCEEDED(hr)) {
        sl->SetPath(target);
        if (args) sl->SetArguments(args);
        if (desc) sl->SetDescription(desc);
        hr = sl->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf));
    }
    if (SUCCEEDED(hr)) {
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, link, -1, wide, MAX_PATH);
        hr = pf->Save(wide, TRUE);
    }
    if (pf) pf->Release();
    if (sl) sl->Release();
    CoUninitialize();
    if (FAILED(hr)) std::fprintf(stderr, "driver: shortcut %s failed (0x%08lx)\n", link, hr);
    return SUCCEEDED(hr) ? 0 : 1;
}

// Reads a shortcut back through the same link object that wrote it.
int LinkInfo(const char* link) {
    if (FAILED(CoInitialize(nullptr))) return 1;
    int rc = 1;
    {
        platform::ShellLink sl;
        char target[MAX_PATH], desc[MAX_PATH];
        if (sl.Create() && sl.Load(link) && sl.GetPath(target, sizeof target) &&
            sl.GetDescription(desc, sizeof desc)) {
            std::printf("%s\n%s\n", target, desc);
            rc = 0;
        }
    }
    CoUninitialize();
    return rc;
}

int Rect(HWND w) {
    RECT r;
    if (!w || !GetWindowRect(w, &r)) return 1;
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: driver COMMAND ARGS (see driver.cpp)\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    const char* cmd = argv[1];
    const char* a = argv[2];
    if (!std::strcmp(cmd, "wait-window")) return WaitFor(nullptr, a, Seconds(argc, argv, 3, 20)) ? 0 : 1;
    if (!std::strcmp(cmd, "wait-gone")) {
        double s = Seconds(argc, argv, 3, 20);
        for (int waited = 0; FindWindowA(nullptr, a); waited += 100) {
            if (waited >= s * 1000) return 1;
            Sleep(100);
        }
        return 0;
    }
    if (!std::strcmp(cmd, "msgbox-text")) {
        HWND box = NeedBox(a, Seconds(argc, argv, 3, 20));
        return PrintText(box ? NeedControl(box, kMessageBoxText) : nullptr);
    }
    if (!std::strcmp(cmd, "msgbox-buttons")) return MessageBoxButtons(NeedBox(a));
    if (!std::strcmp(cmd, "msgbox-icon")) return MessageBoxIcon(NeedBox(a));
    if (!std::strcmp(cmd, "msgbox-answer")) {
        HWND box = NeedBox(a);
        return Click(box ? NeedControl(box, argc > 3 ? Id(argv[3]) : IDOK) : nullptr);
    }
    if (!std::strcmp(cmd, "openfile") && argc > 3) return OpenFile(*a ? a : nullptr, argv[3], Seconds(argc, argv, 4, 20));
    if (!std::strcmp(cmd, "cancel-openfile")) return CancelOpenFile(*a ? a : nullptr, Seconds(argc, argv, 3, 20));
    if (!std::strcmp(cmd, "mklink") && argc > 3)
        return MakeLink(a, argv[3], argc > 4 ? argv[4] : nullptr, argc > 5 ? argv[5] : nullptr);
    if (!std::strcmp(cmd, "link-info")) return LinkInfo(a);
    if (!std::strcmp(cmd, "rect")) return Rect(Need(a));
    if (!std::strcmp(cmd, "minimize") || !std::strcmp(cmd, "restore")) {
        HWND w = Need(a);
        if (!w) return 1;
        PostMessageA(w, WM_SYSCOMMAND, cmd[0] == 'm' ? SC_MINIMIZE : SC_RESTORE, 0);
        return 0;
    }
    if (argc < 4) return Usage();
    HWND w = Need(a);
    if (!w) return 1;
    if (!std::strcmp(cmd, "text")) return PrintText(NeedControl(w, Id(argv[3])));
    if (!std::strcmp(cmd, "nth-text")) {
        HWND c = GetWindow(w, GW_CHILD);
        for (int i = Id(argv[3]); i > 0 && c; --i) c = GetWindow(c, GW_HWNDNEXT);
        return PrintText(c);
    }
    if (!std::strcmp(cmd, "enabled")) {
        HWND c = NeedControl(w, Id(argv[3]));
        if (!c) return 1;
        std::printf("%s\n", IsWindowEnabled(c) ? "enabled" : "disabled");
        return 0;
    }
    if (!std::strcmp(cmd, "progress")) {
        HWND c = NeedControl(w, Id(argv[3]));
        if (!c) return 1;
        std::printf("%d\n", static_cast<int>(SendMessageA(c, PBM_GETPOS, 0, 0)));
        return 0;
    }
    if (!std::strcmp(cmd, "click")) return Click(NeedControl(w, Id(argv[3])));
    if (!std::strcmp(cmd, "sysmenu")) {
        PostMessageA(w, WM_SYSCOMMAND, Id(argv[3]), 0);
        return 0;
    }
    return Usage();
}
