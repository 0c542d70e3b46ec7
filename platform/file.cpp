#include "platform/file.h"
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "platform/utf.h"

namespace platform {

static bool Open(const char* path, DWORD access, DWORD share, DWORD disposition, Handle& out) {
    out.Reset();
    std::wstring w;
    if (!ToWidePath(path, w)) return false;
    HANDLE h = ::CreateFileW(w.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    out.Reset(h);
    return out.Valid();
}

bool OpenRead(const char* path, Handle& out) { return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, out); }

bool OpenReadWrite(const char* path, Handle& out) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, out);
}

bool OpenLogFile(const char* path, Handle& out) {
    out.Reset();
    std::wstring w;
    if (!ToWidePath(path, w)) return false;
    // Asked of the name too: Wine opens a host link's target even when told
    // not to follow it, but reports the name as a reparse point.
    DWORD a = ::GetFileAttributesW(w.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    // Appends only (every write lands at the end, whoever else appends:
    // a second updater given the same log says in it why it ends). Others
    // may read and append, and move or delete it: a log inside the folder
    // the update moves goes along with it.
    out.Reset(::CreateFileW(w.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!out.Valid()) return false;
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(out.Get(), &info)) {
        out.Reset();
        return false;
    }
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        info.nNumberOfLinks > 1) {
        out.Reset();
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    return true;
}

bool OpenExistingReadWrite(const char* path, Handle& out) {
    return Open(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, out);
}

bool CreateNew(const char* path, Handle& out) { return Open(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW, out); }

bool OpenReadSharing(const char* path, Handle& out) {
    return Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, out);
}

bool Read(HANDLE h, void* buf, DWORD n, DWORD* got) {
    *got = 0;
    return ::ReadFile(h, buf, n, got, nullptr) != 0;
}

bool ReadWholeFile(const char* path, int64_t maxBytes, std::string& out) {
    out.clear();
    Handle file;
    int64_t size = 0;
    if (!OpenReadSharing(path, file) || !Size(file.Get(), &size)) return false;
    if (size > maxBytes) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    out.resize(static_cast<size_t>(size));
    size_t have = 0;
    while (have < out.size()) {
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - have, 1u << 20));
        if (!Read(file.Get(), &out[have], want, &got)) return false;
        if (got == 0) break;
        have += got;
    }
    out.resize(have);
    return true;
}

bool Write(HANDLE h, const void* buf, DWORD n) {
    DWORD done = 0;
    if (!::WriteFile(h, buf, n, &done, nullptr)) return false;
    if (done != n) {
        ::SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

bool Seek(HANDLE h, int64_t offset, DWORD origin, int64_t* newPos) {
    LARGE_INTEGER to, now;
    to.QuadPart = offset;
    if (!::SetFilePointerEx(h, to, &now, origin)) return false;
    if (newPos) *newPos = now.QuadPart;
    return true;
}

bool Size(HANDLE h, int64_t* size) {
    LARGE_INTEGER s;
    if (!::GetFileSizeEx(h, &s)) return false;
    *size = s.QuadPart;
    return true;
}

bool Truncate(HANDLE h, int64_t size) { return Seek(h, size, FILE_BEGIN) && ::SetEndOfFile(h) != 0; }

bool Flush(HANDLE h) { return ::FlushFileBuffers(h) != 0; }

bool GetTimes(HANDLE h, FILETIME* created, FILETIME* accessed, FILETIME* written) {
    return ::GetFileTime(h, created, accessed, written) != 0;
}

bool SetTimes(HANDLE h, const FILETIME* created, const FILETIME* accessed, const FILETIME* written) {
    return ::SetFileTime(h, created, accessed, written) != 0;
}

static DWORD Attributes(const char* path) {
    std::wstring w;
    if (!ToWidePath(path, w)) return INVALID_FILE_ATTRIBUTES;
    return ::GetFileAttributesW(w.c_str());
}

bool Attributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA* out) {
    std::wstring w;
    return ToWidePath(path, w) && ::GetFileAttributesExW(w.c_str(), GetFileExInfoStandard, out) != 0;
}

bool PathExists(const char* path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const char* path) {
    DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteFileAt(const char* path) {
    std::wstring w;
    return ToWidePath(path, w) && ::DeleteFileW(w.c_str()) != 0;
}

bool MoveItem(const char* from, const char* to) {
    std::wstring f, t;
    return ToWidePath(from, f) && ToWidePath(to, t) && ::MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_COPY_ALLOWED) != 0;
}

bool RenameItem(const char* from, const char* to) {
    std::wstring f, t;
    return ToWidePath(from, f) && ToWidePath(to, t) && ::MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool SetReadOnly(const char* path, bool on) {
    std::wstring w;
    if (!ToWidePath(path, w)) return false;
    DWORD a = ::GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    a = on ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    return ::SetFileAttributesW(w.c_str(), a) != 0;
}

bool CheckMovable(const char* path) {
    std::wstring w;
    if (!ToWidePath(path, w)) return false;
    Handle h(::CreateFileW(w.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return h.Valid();
}

bool CheckReadable(const char* path) {
    Handle h;
    return OpenReadSharing(path, h);
}

bool FlushFileAt(const char* path) {
    Handle h;
    return Open(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, h) && Flush(h.Get());
}

bool CheckReplaceable(const char* path) {
    DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    DWORD access = (a & FILE_ATTRIBUTE_READONLY) ? DELETE : DELETE | FILE_WRITE_DATA;
    Handle h;
    return Open(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING, h);
}

bool CheckCanCreateIn(const char* folder) {
    DWORD error = ERROR_FILE_EXISTS;
    for (int n = 0; n < 100; ++n) {
        std::string name = std::string(folder) + (folder[0] && folder[std::strlen(folder) - 1] == '\\' ? "" : "\\") +
                           "~dvprobe" + std::to_string(n) + ".tmp";
        std::wstring w;
        if (!ToWidePath(name.c_str(), w)) return false;
        Handle h(::CreateFileW(w.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        if (h.Valid()) return true;
        error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    ::SetLastError(error);
    return false;
}

// Longest path the wide calls below hand back (\\?\ paths included).
constexpr DWORD kWideCap = 32768;

bool CopyBytes(HANDLE from, HANDLE to, int64_t* copied) {
    char buf[4096];
    *copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!Read(from, buf, sizeof buf, &got)) return false;
        if (got == 0) return true;
        if (!Write(to, buf, got)) return false;
        *copied += got;
    }
}

static bool Identify(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    std::wstring wide;
    if (!ToWidePath(path, wide)) return false;
    Handle h(::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.Valid() && ::GetFileInformationByHandle(h.Get(), info) != 0;
}

bool SameFile(const char* a, const char* b, bool* same) {
    BY_HANDLE_FILE_INFORMATION x, y;
    *same = false;
    if (!Identify(a, &x) || !Identify(b, &y)) return false;
    *same = x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
            x.nFileIndexLow == y.nFileIndexLow;
    return true;
}

bool ModulePath(std::string& out) {
    out.clear();
    std::vector<wchar_t> w(kWideCap);
    DWORD n = ::GetModuleFileNameW(nullptr, w.data(), kWideCap);
    if (n == 0) return false;
    if (n >= kWideCap) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return ToUtf8(w.data(), n, out);
}

bool WindowsFolder(std::string& out) {
    out.clear();
    std::vector<wchar_t> w(kWideCap);
    UINT n = ::GetWindowsDirectoryW(w.data(), kWideCap);
    if (n == 0) return false;
    if (n >= kWideCap) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return ToUtf8(w.data(), n, out);
}

bool EnvironmentValue(const char* name, std::string& out) {
    out.clear();
    std::wstring wname;
    if (!ToWide(name, wname)) return false;
    std::vector<wchar_t> w(kWideCap);
    DWORD n = ::GetEnvironmentVariableW(wname.c_str(), w.data(), kWideCap);
    if (n == 0) return false;
    if (n >= kWideCap) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return ToUtf8(w.data(), n, out);
}

bool ExpandVariables(const char* text, std::string& out) {
    out.clear();
    std::wstring w;
    if (!ToWide(text, w)) return false;
    DWORD need = ::ExpandEnvironmentStringsW(w.c_str(), nullptr, 0);
    std::vector<wchar_t> expanded(need + 1);
    if (need == 0 || ::ExpandEnvironmentStringsW(w.c_str(), expanded.data(), need) != need) return false;
    return ToUtf8(expanded.data(), need - 1, out);
}

}  // namespace platform

namespace platform {

bool FullPath(const char* path, std::string& out) {
    out.clear();
    std::wstring w;
    if (!ToWide(path, w)) return false;
    std::vector<wchar_t> full(kWideCap);
    DWORD n = ::GetFullPathNameW(w.c_str(), kWideCap, full.data(), nullptr);
    if (n == 0) return false;
    if (n >= kWideCap) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return ToUtf8(full.data(), n, out);
}

bool ShortPath(const char* path, std::string& out) {
    out.clear();
    std::wstring w;
    if (!ToWidePath(path, w)) return false;
    std::vector<wchar_t> shortForm(kWideCap);
    DWORD n = ::GetShortPathNameW(w.c_str(), shortForm.data(), kWideCap);
    if (n == 0) return false;
    if (n >= kWideCap) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    return FromWidePath(shortForm.data(), n, out);
}

}  // namespace platform
