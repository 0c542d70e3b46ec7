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

bool CopyUtf8(const wchar_t* text, size_t n, char* out, size_t cap) {
    if (cap) out[0] = 0;
    std::string s;
    if (!ToUtf8(text, n, s)) return false;
    if (s.size() + 1 > cap) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return false;
    }
    s.copy(out, s.size());
    out[s.size()] = 0;
    return true;
}

std::wstring WideOrEmpty(const char* text) {
    std::wstring w;
    ToWide(text, w);
    return w;
}

}  // namespace platform
