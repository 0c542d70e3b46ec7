#include "scratch.h"
#include <commctrl.h>

namespace scratch {

std::string ProgramFolder() {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    dir.resize(dir.rfind('\\'));
    return dir;
}

void DeleteTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                DeleteTree(child);
            } else {
                SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(child.c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(path.c_str());
}

void MakeFolder(const std::string& path) {
    size_t from = path.find('\\', 3);
    for (; from != std::string::npos; from = path.find('\\', from + 1))
        CreateDirectoryA(path.substr(0, from).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

std::string ReadFile(const std::string& path) {
    std::string out;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    char buf[4096];
    DWORD got = 0;
    while (::ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
    CloseHandle(h);
    return out;
}

void WriteFile(const std::string& path, const std::string& text) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD done = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(h);
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetReadOnly(const std::string& path, bool on) {
    SetFileAttributesA(path.c_str(), on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
}

FakeDialog::FakeDialog() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    hwnd_ = CreateWindowExA(0, "STATIC", "sequencer test", WS_POPUP, 0, 0, 400, 200,
                            nullptr, nullptr, nullptr, nullptr);
    HINSTANCE inst = GetModuleHandleA(nullptr);
    CreateWindowExA(0, "BUTTON", "Begin &Update", WS_CHILD, 0, 0, 80, 20, hwnd_,
                    reinterpret_cast<HMENU>(IDOK), inst, nullptr);
    CreateWindowExA(0, "BUTTON", "Ca&ncel", WS_CHILD, 0, 30, 80, 20, hwnd_,
                    reinterpret_cast<HMENU>(IDCANCEL), inst, nullptr);
    CreateWindowExA(0, "BUTTON", "&Change folder", WS_CHILD, 0, 60, 80, 20, hwnd_,
                    reinterpret_cast<HMENU>(1001), inst, nullptr);
    CreateWindowExA(0, PROGRESS_CLASSA, "Progress1", WS_CHILD, 0, 90, 300, 20, hwnd_,
                    reinterpret_cast<HMENU>(1000), inst, nullptr);
}

FakeDialog::~FakeDialog() {
    if (hwnd_) DestroyWindow(hwnd_);
}

int FakeDialog::BarPosition() const {
    return static_cast<int>(SendDlgItemMessageA(hwnd_, 1000, PBM_GETPOS, 0, 0));
}

bool FakeDialog::Enabled(int id) const {
    return IsWindowEnabled(GetDlgItem(hwnd_, id)) != 0;
}

std::string FakeDialog::Text(int id) const {
    char text[256] = "";
    GetDlgItemTextA(hwnd_, id, text, sizeof text);
    return text;
}

}  // namespace scratch
