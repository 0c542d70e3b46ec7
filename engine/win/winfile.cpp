#include "winfile.h"

namespace eng {

namespace {

// ReadFile and WriteFile take 32-bit lengths; larger requests go in pieces.
constexpr size_t kMaxIo = 1u << 30;

}  // namespace

bool File::OpenRead(const std::wstring& path) {
    h_.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    return h_.Valid();
}

bool File::CreateNew(const std::wstring& path) {
    h_.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
    return h_.Valid();
}

bool File::OpenAppend(const std::wstring& path, bool truncate) {
    h_.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h_.Valid()) return false;
    LARGE_INTEGER zero{};
    return ::SetFilePointerEx(h_.Get(), zero, nullptr, FILE_END) != 0;
}

bool File::Size(uint64_t* size) const {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(h_.Get(), &li)) return false;
    *size = uint64_t(li.QuadPart);
    return true;
}

bool File::ReadAt(uint64_t offset, void* buf, size_t n) const {
    LARGE_INTEGER li;
    li.QuadPart = LONGLONG(offset);
    if (!::SetFilePointerEx(h_.Get(), li, nullptr, FILE_BEGIN)) return false;
    return Read(buf, n);
}

bool File::WriteAt(uint64_t offset, const void* buf, size_t n) const {
    LARGE_INTEGER li;
    li.QuadPart = LONGLONG(offset);
    if (!::SetFilePointerEx(h_.Get(), li, nullptr, FILE_BEGIN)) return false;
    return Write(buf, n);
}

bool File::Read(void* buf, size_t n) const {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        size_t got;
        if (!ReadSome(p, n, &got)) return false;
        if (got == 0) {
            ::SetLastError(ERROR_HANDLE_EOF);
            return false;
        }
        p += got;
        n -= got;
    }
    return true;
}

bool File::ReadSome(void* buf, size_t n, size_t* got) const {
    DWORD want = DWORD(n < kMaxIo ? n : kMaxIo);
    DWORD read = 0;
    if (!::ReadFile(h_.Get(), buf, want, &read, nullptr)) return false;
    *got = read;
    return true;
}

bool File::Write(const void* buf, size_t n) const {
    auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        DWORD want = DWORD(n < kMaxIo ? n : kMaxIo);
        DWORD put = 0;
        if (!::WriteFile(h_.Get(), p, want, &put, nullptr)) return false;
        if (put == 0) {
            ::SetLastError(ERROR_DISK_FULL);
            return false;
        }
        p += put;
        n -= put;
    }
    return true;
}

bool File::Flush() const { return ::FlushFileBuffers(h_.Get()) != 0; }

bool IsMissingError(DWORD code) { return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND; }

bool Inspect(const std::wstring& path, Presence* what, DWORD* attributes) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        if (!IsMissingError(::GetLastError())) return false;
        *what = Presence::absent;
        *attributes = 0;
        return true;
    }
    *what = (a & FILE_ATTRIBUTE_DIRECTORY) ? Presence::folder : Presence::file;
    *attributes = a;
    return true;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool ClearReadOnly(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    if (!(a & FILE_ATTRIBUTE_READONLY)) return true;
    return ::SetFileAttributesW(path.c_str(), a & ~DWORD(FILE_ATTRIBUTE_READONLY)) != 0;
}

bool ForceDelete(const std::wstring& path) {
    if (::DeleteFileW(path.c_str())) return true;
    DWORD code = ::GetLastError();
    if (IsMissingError(code)) return true;
    if (code != ERROR_ACCESS_DENIED || !ClearReadOnly(path)) {
        ::SetLastError(code);
        return false;
    }
    return ::DeleteFileW(path.c_str()) != 0;
}

}  // namespace eng
