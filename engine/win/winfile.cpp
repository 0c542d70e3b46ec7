#include "winfile.h"

#include <vector>

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

bool File::CreateNew(const std::wstring& path, DWORD share) {
    h_.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    return h_.Valid();
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

bool File::TakeTimes(const File& other) const {
    FILETIME made, used, written;
    return ::GetFileTime(other.h_.Get(), &made, &used, &written) && ::SetFileTime(h_.Get(), &made, &used, &written);
}

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

namespace {

Handle OpenAttributes(const std::wstring& path, DWORD access) {
    return Handle(::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
}

bool SetAttributes(const Handle& h, DWORD attributes) {
    FILE_BASIC_INFO info{};  // times left at 0: unchanged
    info.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(h.Get(), FileBasicInfo, &info, sizeof(info)) != 0;
}

}  // namespace

// The read-only attribute belongs to the file, not to one of its names: it
// is cleared and set again through a handle held across the deletion, so a
// hard link elsewhere keeps it.
bool ForceDelete(const std::wstring& path) {
    if (::DeleteFileW(path.c_str())) return true;
    DWORD code = ::GetLastError();
    if (IsMissingError(code)) return true;
    Handle h;
    BY_HANDLE_FILE_INFORMATION info;
    if (code == ERROR_ACCESS_DENIED) h = OpenAttributes(path, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES);
    if (!h.Valid() || !::GetFileInformationByHandle(h.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ||
        !SetAttributes(h, info.dwFileAttributes & ~DWORD(FILE_ATTRIBUTE_READONLY))) {
        ::SetLastError(code);
        return false;
    }
    bool gone = ::DeleteFileW(path.c_str()) != 0;
    code = ::GetLastError();
    SetAttributes(h, info.dwFileAttributes);  // a file without another name is gone anyway
    ::SetLastError(code);
    return gone;
}

namespace {

// The full path of what `path` names, every link on the way followed.
bool FinalPath(const std::wstring& path, std::wstring* out) {
    Handle h(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    std::vector<wchar_t> buf(MAX_PATH);
    while (h.Valid()) {
        DWORD n = ::GetFinalPathNameByHandleW(h.Get(), buf.data(), DWORD(buf.size()), FILE_NAME_NORMALIZED);
        if (n == 0) return false;
        if (n < buf.size()) {
            out->assign(buf.data(), n);
            return true;
        }
        buf.resize(n + 1);
    }
    return false;
}

}  // namespace

bool IsLink(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) return true;
    // The name's own place: its folder's final path and the name.
    size_t cut = path.rfind(L'\\');
    std::wstring folder = path.substr(0, cut), final, place;
    if (!folder.empty() && folder.back() == L':') folder += L'\\';  // a drive's root
    if (cut == std::wstring::npos || !FinalPath(folder, &place) || !FinalPath(path, &final)) return false;
    place += (place.back() == L'\\' ? L"" : L"\\") + path.substr(cut + 1);
    return ::CompareStringOrdinal(final.data(), int(final.size()), place.data(), int(place.size()), TRUE) != CSTR_EQUAL;
}

bool SameFile(const std::wstring& a, const std::wstring& b) {
    Handle ha = OpenAttributes(a, FILE_READ_ATTRIBUTES), hb = OpenAttributes(b, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return ha.Valid() && hb.Valid() && ::GetFileInformationByHandle(ha.Get(), &ia) &&
           ::GetFileInformationByHandle(hb.Get(), &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace eng
