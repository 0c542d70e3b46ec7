#include "platform/utf.h"

namespace platform {

bool ToWide(const char* text, size_t n, std::wstring& out) {
    out.clear();
    if (!text || n == 0) return true;
    int len = static_cast<int>(n);
    int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, len, nullptr, 0);
    if (units <= 0) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    out.resize(static_cast<size_t>(units));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, len, &out[0], units);
    return true;
}

bool ToWide(const char* text, std::wstring& out) {
    return ToWide(text, text ? std::char_traits<char>::length(text) : 0, out);
}

bool ToUtf8(const wchar_t* text, size_t n, std::string& out) {
    out.clear();
    if (n == 0) return true;
    int len = static_cast<int>(n);
    int bytes = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, len, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    out.resize(static_cast<size_t>(bytes));
    ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, len, &out[0], bytes, nullptr, nullptr);
    return true;
}

bool ToUtf8(const std::wstring& text, std::string& out) { return ToUtf8(text.data(), text.size(), out); }

bool ToWidePath(const char* path, std::wstring& out) {
    if (!ToWide(path, out)) return false;
    if (out.size() < kLongPathFrom || out.compare(0, 4, L"\\\\?\\") == 0) return true;
    bool drive = out.size() > 2 && out[1] == L':' && (out[2] == L'\\' || out[2] == L'/');
    bool share = out.compare(0, 2, L"\\\\") == 0;
    if (!drive && !share) return true;
    // The long form is taken literally: no "/", "." or ".." may be left in it.
    std::wstring full;
    if (!FullWide(out, full)) return false;
    out.swap(full);
    if (drive)
        out.insert(0, L"\\\\?\\");
    else if (share)
        out.replace(0, 2, L"\\\\?\\UNC\\");
    return true;
}

bool FullWide(const std::wstring& path, std::wstring& out) {
    DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0) return false;
    out.assign(need, L'\0');
    DWORD n = ::GetFullPathNameW(path.c_str(), need, &out[0], nullptr);
    if (n == 0 || n >= need) return false;
    out.resize(n);
    return true;
}

bool FromWidePath(const wchar_t* path, size_t n, std::string& out) {
    std::wstring w(path, n);
    if (w.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        w.replace(0, 8, L"\\\\");
    else if (w.compare(0, 4, L"\\\\?\\") == 0)
        w.erase(0, 4);
    return ToUtf8(w, out);
}

size_t WideLength(const char* text) {
    std::wstring w;
    return ToWide(text, w) ? w.size() : 0;
}

std::wstring WideOrEmpty(const char* text) {
    std::wstring w;
    ToWide(text, w);
    return w;
}

}  // namespace platform
