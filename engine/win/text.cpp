#include "text.h"

#include <windows.h>

#include <vector>

namespace eng {

bool Utf8ToWide(const std::string& in, std::wstring* out) {
    out->clear();
    if (in.empty()) return true;
    int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) return false;
    out->resize(size_t(n));
    return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), &(*out)[0], n) == n;
}

std::string WideToUtf8(const std::wstring& in) {
    if (in.empty()) return std::string();
    int n = ::WideCharToMultiByte(CP_UTF8, 0, in.data(), int(in.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string out(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, in.data(), int(in.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string FileKey(const std::string& path) {
    std::wstring w;
    if (!Utf8ToWide(path, &w) || w.empty()) return path;
    // Without LCMAP_LINGUISTIC_CASING the mapping is the file system's, the
    // same one for every locale and one unit for one unit.
    std::wstring upper(w.size(), L'\0');
    if (::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, w.data(), int(w.size()), &upper[0], int(upper.size())) !=
        int(upper.size()))
        return path;
    return WideToUtf8(upper);
}

std::wstring ToLongPath(const std::wstring& full) {
    std::wstring p = full;
    while (p.size() > 3 && p.back() == L'\\') p.pop_back();
    if (p.compare(0, 4, L"\\\\?\\") == 0) return p;
    if (p.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + p.substr(2);
    // "C:\" keeps its backslash as a root; joining adds none after it.
    return L"\\\\?\\" + p;
}

bool CurrentFolderLong(std::wstring* out) {
    DWORD n = ::GetCurrentDirectoryW(0, nullptr);
    if (n == 0) return false;
    std::vector<wchar_t> buf(n + 1);
    DWORD got = ::GetCurrentDirectoryW(n + 1, buf.data());
    if (got == 0 || got > n) return false;
    *out = ToLongPath(std::wstring(buf.data(), got));
    return true;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& relative) {
    if (!folder.empty() && folder.back() == L'\\') return folder + relative;
    return folder + L"\\" + relative;
}

bool IsBareName(const std::wstring& name) { return name.find_first_of(L"\\/:") == std::wstring::npos; }

std::wstring DecimalW(unsigned long long v) {
    wchar_t buf[24];
    size_t i = sizeof(buf) / sizeof(buf[0]);
    buf[--i] = 0;
    do {
        buf[--i] = wchar_t(L'0' + v % 10);
        v /= 10;
    } while (v != 0);
    return std::wstring(buf + i);
}

}  // namespace eng
