#include "platform/dir.h"
#include <cstring>
#include <string>
#include <vector>

namespace platform {

bool GetCurrentFolder(char* out, DWORD cap) {
    DWORD n = ::GetCurrentDirectoryA(cap, out);
    if (n == 0) return false;
    if (n >= cap) { out[0] = 0; ::SetLastError(ERROR_INSUFFICIENT_BUFFER); return false; }
    return true;
}

bool SetCurrentFolder(const char* path) { return ::SetCurrentDirectoryA(path) != 0; }
bool CreateFolder(const char* path) { return ::CreateDirectoryA(path, nullptr) != 0; }
bool RemoveFolder(const char* path) { return ::RemoveDirectoryA(path) != 0; }

static void Fill(const WIN32_FIND_DATAA& fd, DirEntry* e) {
    std::strncpy(e->name, fd.cFileName, sizeof e->name - 1);
    e->name[sizeof e->name - 1] = 0;
    e->isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool DirWalk::First(const char* pattern, DirEntry* e) {
    WIN32_FIND_DATAA fd;
    find_.Reset(::FindFirstFileA(pattern, &fd));
    if (!find_.Valid()) return false;
    Fill(fd, e);
    return true;
}

bool DirWalk::Next(DirEntry* e) {
    WIN32_FIND_DATAA fd;
    if (!find_.Valid()) { ::SetLastError(ERROR_NO_MORE_FILES); return false; }
    if (!::FindNextFileA(find_.Get(), &fd)) return false;
    Fill(fd, e);
    return true;
}

bool IsFolderLink(const char* path) {
    DWORD a = ::GetFileAttributesA(path);
    const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return a != INVALID_FILE_ATTRIBUTES && (a & link) == link;
}

// Opens the link itself for deletion; fails with ERROR_NOT_SUPPORTED when
// what got opened is not a reparse point (the system followed the link).
static bool OpenLinkItself(const char* path, Handle& out) {
    out.Reset(::CreateFileA(path, DELETE | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!out.Valid()) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(out.Get(), &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    out.Reset();
    ::SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}

bool CheckFolderLinkMovable(const char* path) {
    Handle h;
    return OpenLinkItself(path, h);
}

bool MoveFolderLink(const char* from, const char* to) {
    Handle h;
    char full[MAX_PATH + 1];
    if (!OpenLinkItself(from, h)) return false;
    DWORD got = ::GetFullPathNameA(to, sizeof full, full, nullptr);
    if (got == 0 || got >= sizeof full) return false;
    // The rename takes the system's own form of the name: "\??\" + full path.
    std::string name = std::string("\\??\\") + full;
    int n = ::MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    if (n <= 0) return false;
    // FILE_RENAME_INFO ends in the name; sizeof counts one WCHAR of it, so
    // n more leave room for the whole name and its NUL.
    std::vector<char> buf(sizeof(FILE_RENAME_INFO) + n * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>((n - 1) * sizeof(WCHAR));
    ::MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, info->FileName, n);
    return ::SetFileInformationByHandle(h.Get(), FileRenameInfo, info, static_cast<DWORD>(buf.size())) != 0;
}

bool RemoveFolderLink(const char* path) {
    Handle h;
    if (!OpenLinkItself(path, h)) return false;
    FILE_DISPOSITION_INFO info{TRUE};
    return ::SetFileInformationByHandle(h.Get(), FileDispositionInfo, &info, sizeof info) != 0;
}

}  // namespace platform
