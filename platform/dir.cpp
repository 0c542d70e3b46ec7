#include "platform/dir.h"
#include <cstring>
#include <string>
#include <vector>
#include "platform/utf.h"

namespace platform {

bool GetCurrentFolder(std::string& out) {
    out.clear();
    DWORD units = ::GetCurrentDirectoryW(0, nullptr);  // with the NUL
    if (units == 0) return false;
    std::vector<wchar_t> w(units);
    DWORD n = ::GetCurrentDirectoryW(units, w.data());
    if (n == 0) return false;
    if (n >= units) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return ToUtf8(w.data(), n, out);
}

bool SetCurrentFolder(const char* path) {
    std::wstring w;
    return ToWide(path, w) && ::SetCurrentDirectoryW(w.c_str()) != 0;
}

bool CreateFolder(const char* path) {
    std::wstring w;
    return ToWidePath(path, w) && ::CreateDirectoryW(w.c_str(), nullptr) != 0;
}

bool RemoveFolder(const char* path) {
    std::wstring w;
    return ToWidePath(path, w) && ::RemoveDirectoryW(w.c_str()) != 0;
}

// A name with no UTF-8 form (an unpaired surrogate) fails the entry; the
// walk then reports that it broke off.
static bool Fill(const WIN32_FIND_DATAW& fd, DirEntry* e) {
    e->isFolder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    e->isLink = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    e->size = (static_cast<uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    return ToUtf8(fd.cFileName, std::char_traits<wchar_t>::length(fd.cFileName), e->name);
}

bool DirWalk::First(const char* pattern, DirEntry* e) {
    WIN32_FIND_DATAW fd;
    std::wstring w;
    find_.Reset();
    ended_ = false;
    if (!ToWidePath(pattern, w)) return false;
    find_.Reset(::FindFirstFileW(w.c_str(), &fd));
    if (!find_.Valid()) {
        ended_ = ::GetLastError() == ERROR_FILE_NOT_FOUND;
        return false;
    }
    return Fill(fd, e);
}

bool DirWalk::Next(DirEntry* e) {
    WIN32_FIND_DATAW fd;
    if (!find_.Valid()) {
        ::SetLastError(ERROR_NO_MORE_FILES);
        return false;
    }
    if (!::FindNextFileW(find_.Get(), &fd)) {
        ended_ = ::GetLastError() == ERROR_NO_MORE_FILES;
        return false;
    }
    return Fill(fd, e);
}

bool IsFolderLink(const char* path) {
    std::wstring wide;
    if (!ToWidePath(path, wide)) return false;
    DWORD a = ::GetFileAttributesW(wide.c_str());
    const DWORD link = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
    return a != INVALID_FILE_ATTRIBUTES && (a & link) == link;
}

// Opens the link itself for deletion; fails with ERROR_NOT_SUPPORTED when
// what got opened is not a reparse point (the system followed the link).
static bool OpenLinkItself(const char* path, Handle& out) {
    std::wstring wide;
    if (!ToWidePath(path, wide)) return false;
    out.Reset(::CreateFileW(wide.c_str(), DELETE | FILE_READ_ATTRIBUTES,
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
    std::wstring target, full;
    if (!OpenLinkItself(from, h) || !ToWide(to, target) || !FullWide(target, full)) return false;
    // The rename takes the system's own form of the name: "\??\" + full path.
    std::wstring name = L"\\??\\" + full;
    size_t n = name.size() + 1;
    // FILE_RENAME_INFO ends in the name; sizeof counts one WCHAR of it, so
    // n more leave room for the whole name and its NUL.
    std::vector<char> buf(sizeof(FILE_RENAME_INFO) + n * sizeof(WCHAR));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>((n - 1) * sizeof(WCHAR));
    std::memcpy(info->FileName, name.c_str(), n * sizeof(WCHAR));
    return ::SetFileInformationByHandle(h.Get(), FileRenameInfo, info, static_cast<DWORD>(buf.size())) != 0;
}

bool RemoveFolderLink(const char* path) {
    Handle h;
    if (!OpenLinkItself(path, h)) return false;
    FILE_DISPOSITION_INFO info{TRUE};
    return ::SetFileInformationByHandle(h.Get(), FileDispositionInfo, &info, sizeof info) != 0;
}

}  // namespace platform
