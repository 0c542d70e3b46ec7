#include "platform/reg.h"
#include <winternl.h>
#include <cstring>
#include <vector>
#include "engine/core/ascii.h"
#include "platform/utf.h"

// Deletes the key of an open handle, whatever it is: the one call that can
// remove a link key itself (the key was opened as a link).
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

namespace platform {

static bool Done(LONG rc) {
    ::SetLastError(static_cast<DWORD>(rc));
    return rc == ERROR_SUCCESS;
}

// A name or path for a wide call: null stays null (the default value).
static bool Name(const char* text, std::wstring& out) {
    if (ToWide(text, out)) return true;
    return Done(ERROR_NO_UNICODE_TRANSLATION);
}

bool RegOpen(HKEY root, const char* path, REGSAM access, Key& out) {
    std::wstring w;
    if (!Name(path, w)) {
        out.Reset();
        return false;
    }
    return RegOpenSub(root, w.c_str(), access, out);
}

bool RegOpenSub(HKEY root, const wchar_t* path, REGSAM access, Key& out) {
    return Done(::RegOpenKeyExW(root, path, 0, access, out.Out()));
}

bool RegOpenNoFollow(HKEY root, const char* path, REGSAM access, Key& out) {
    std::wstring w;
    if (!Name(path, w)) {
        out.Reset();
        return false;
    }
    return RegOpenNoFollow(root, w.c_str(), access, out);
}

bool RegOpenNoFollow(HKEY root, const wchar_t* path, REGSAM access, Key& out) {
    return Done(::RegOpenKeyExW(root, path, REG_OPTION_OPEN_LINK, access, out.Out()));
}

bool IsLinkValue(const wchar_t* name, DWORD nameLen, DWORD type) {
    static const wchar_t kLinkValue[] = L"SymbolicLinkValue";
    constexpr DWORD kLen = sizeof kLinkValue / sizeof kLinkValue[0] - 1;
    if (type != REG_LINK || nameLen != kLen) return false;
    for (DWORD i = 0; i < kLen; ++i)
        if (core::ascii::Fold(name[i]) != core::ascii::Fold(kLinkValue[i])) return false;
    return true;
}

bool RegCreate(HKEY root, const char* path, REGSAM access, Key& out) {
    std::wstring w;
    if (!Name(path, w)) {
        out.Reset();
        return false;
    }
    wchar_t emptyClass[1] = L"";
    return Done(::RegCreateKeyExW(root, w.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE, access, nullptr, out.Out(),
                                  nullptr));
}

bool RegReadText(HKEY key, const char* name, std::string& out) {
    out.clear();
    std::wstring wname;
    if (!Name(name, wname)) return false;
    const wchar_t* n = name ? wname.c_str() : nullptr;
    DWORD type = 0, bytes = 0;
    LONG rc = ::RegQueryValueExW(key, n, nullptr, &type, nullptr, &bytes);
    if (rc != ERROR_SUCCESS) return Done(rc);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return Done(ERROR_UNSUPPORTED_TYPE);
    // Room for the data and a NUL of our own: stored text need not carry one.
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1);
    bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    rc = ::RegQueryValueExW(key, n, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes);
    if (rc != ERROR_SUCCESS) return Done(rc);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return Done(ERROR_UNSUPPORTED_TYPE);
    size_t units = bytes / sizeof(wchar_t);
    text.resize(units + 1);
    text[units] = 0;
    if (type == REG_EXPAND_SZ) {
        // Read as the system's own readers do: "%ProgramFiles%\..." means a folder.
        DWORD need = ::ExpandEnvironmentStringsW(text.data(), nullptr, 0);
        std::vector<wchar_t> expanded(need);
        if (need == 0 || ::ExpandEnvironmentStringsW(text.data(), expanded.data(), need) != need) return false;
        text.swap(expanded);
    }
    // The text ends at its first NUL, wherever that is.
    if (!ToUtf8(text.data(), std::char_traits<wchar_t>::length(text.data()), out)) return false;
    return Done(ERROR_SUCCESS);
}

bool RegReadRaw(HKEY key, const wchar_t* name, DWORD& type, std::string& data) {
    data.clear();
    for (;;) {
        DWORD bytes = static_cast<DWORD>(data.size());
        LONG rc = ::RegQueryValueExW(key, name, nullptr, &type,
                                     data.empty() ? nullptr : reinterpret_cast<BYTE*>(&data[0]), &bytes);
        if (rc == ERROR_SUCCESS && (bytes == 0 || !data.empty())) {
            data.resize(bytes);
            return Done(rc);
        }
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return Done(rc);
        data.resize(bytes);  // the size asked for, or grown since: read again
    }
}

bool RegWrite(HKEY key, const char* name, DWORD type, const void* data, DWORD bytes) {
    std::wstring w;
    if (!Name(name, w)) return false;
    return RegWriteRaw(key, name ? w.c_str() : nullptr, type, data, bytes);
}

bool RegWriteRaw(HKEY key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    // RegSetValueExW counts a NUL unit that directly follows the given bytes
    // of a text value as if the caller had forgotten it, so text stored
    // without a NUL would gain one: a unit that is not NUL follows the data
    // here, and is never stored.
    std::vector<BYTE> guarded(bytes + 2, 0x01);
    if (bytes) std::memcpy(guarded.data(), data, bytes);
    return Done(::RegSetValueExW(key, name, 0, type, guarded.data(), bytes));
}

bool RegWriteText(HKEY key, const char* name, DWORD type, const char* text) {
    std::wstring w;
    if (!Name(text, w)) return false;
    DWORD bytes = static_cast<DWORD>((w.size() + 1) * sizeof(wchar_t));  // with the NUL
    return RegWrite(key, name, type, w.c_str(), bytes);
}

bool RegDeleteOne(HKEY parent, const char* path) {
    Key key;
    if (!RegOpenNoFollow(parent, path, DELETE, key)) return false;
    return Done(static_cast<LONG>(::RtlNtStatusToDosError(NtDeleteKey(key.Get()))));
}

bool RegFlush(HKEY key) { return Done(::RegFlushKey(key)); }

}  // namespace platform

namespace platform {

bool RegReadDefault(HKEY root, const char* path, std::string& out) {
    out.clear();
    Key key;
    if (!RegOpen(root, path, KEY_READ, key)) return false;
    return RegReadText(key.Get(), nullptr, out);
}

bool RegQueryInfo(HKEY key, RegKeyInfo& out) {
    out = RegKeyInfo{};
    return Done(::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &out.subKeys, &out.maxSubKeyLen, nullptr,
                                   &out.values, &out.maxValueNameLen, &out.maxValueBytes, nullptr, nullptr));
}

bool RegEnumValueAt(HKEY key, DWORD index, wchar_t* name, DWORD* nameLen, DWORD* type, BYTE* data, DWORD* bytes) {
    return Done(::RegEnumValueW(key, index, name, nameLen, nullptr, type, data, bytes));
}

bool RegEnumKeyAt(HKEY key, DWORD index, wchar_t* name, DWORD* nameLen) {
    return Done(::RegEnumKeyExW(key, index, name, nameLen, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace platform
