#include "platform/dir.h"
#include <vector>
#include "platform/utf.h"

namespace platform {

bool GetCurrentFolder(char* out, DWORD cap) {
    if (cap) out[0] = 0;
    DWORD units = ::GetCurrentDirectoryW(0, nullptr);  // with the NUL
    if (units == 0) return false;
    std::vector<wchar_t> w(units);
    DWORD n = ::GetCurrentDirectoryW(units, w.data());
    if (n == 0) return false;
    if (n >= units) { ::SetLastError(ERROR_INSUFFICIENT_BUFFER); return false; }
    return CopyUtf8(w.data(), n, out, cap);
}

bool SetCurrentFolder(const char* path) {
    std::wstring w;
    return ToWide(path, w) && ::SetCurrentDirectoryW(w.c_str()) != 0;
}

bool CreateFolder(const char* path) {
    std::wstring w;
    return ToWide(path, w) && ::CreateDirectoryW(w.c_str(), nullptr) != 0;
}

bool RemoveFolder(const char* path) {
    std::wstring w;
    return ToWide(path, w) && ::RemoveDirectoryW(w.c_str()) != 0;
}

// A name that does not fit DirEntry::name cannot happen (255 units at most,
// 3 bytes each); should it, the entry is refused rather than cut.
static bool Fill(const WIN32_FIND_DATAW& fd, DirEntry* e) {
    e->isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return CopyUtf8(fd.cFileName, std::char_traits<wchar_t>::length(fd.cFileName), e->name,
                    sizeof e->name);
}

bool DirWalk::First(const char* pattern, DirEntry* e) {
    WIN32_FIND_DATAW fd;
    std::wstring w;
    find_.Reset();
    if (!ToWide(pattern, w)) return false;
    find_.Reset(::FindFirstFileW(w.c_str(), &fd));
    if (!find_.Valid()) return false;
    return Fill(fd, e);
}

bool DirWalk::Next(DirEntry* e) {
    WIN32_FIND_DATAW fd;
    if (!find_.Valid()) { ::SetLastError(ERROR_NO_MORE_FILES); return false; }
    if (!::FindNextFileW(find_.Get(), &fd)) return false;
    return Fill(fd, e);
}

}  // namespace platform
