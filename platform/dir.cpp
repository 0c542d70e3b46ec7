#include "platform/dir.h"
#include <cstring>

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

}  // namespace platform
