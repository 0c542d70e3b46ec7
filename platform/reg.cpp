#include "platform/reg.h"

namespace platform {

static bool Done(LONG rc) {
    ::SetLastError(static_cast<DWORD>(rc));
    return rc == ERROR_SUCCESS;
}

bool RegOpen(HKEY root, const char* path, REGSAM access, Key& out) {
    return Done(::RegOpenKeyExA(root, path, 0, access, out.Out()));
}

bool RegCreate(HKEY root, const char* path, REGSAM access, Key& out) {
    char emptyClass[1] = "";
    return Done(::RegCreateKeyExA(root, path, 0, emptyClass, REG_OPTION_NON_VOLATILE, access,
                                  nullptr, out.Out(), nullptr));
}

bool RegReadText(HKEY key, const char* name, char* out, DWORD cap) {
    if (cap == 0) return Done(ERROR_MORE_DATA);
    out[0] = 0;
    DWORD type = 0, bytes = cap;
    LONG rc = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes);
    if (rc != ERROR_SUCCESS) { out[0] = 0; return Done(rc); }
    if (type != REG_SZ && type != REG_EXPAND_SZ) { out[0] = 0; return Done(ERROR_UNSUPPORTED_TYPE); }
    // Stored text need not carry its NUL; make room for one or refuse.
    if (bytes > 0 && out[bytes - 1] == 0) return Done(ERROR_SUCCESS);
    if (bytes >= cap) { out[0] = 0; return Done(ERROR_MORE_DATA); }
    out[bytes] = 0;
    return Done(ERROR_SUCCESS);
}

bool RegWrite(HKEY key, const char* name, DWORD type, const void* data, DWORD bytes) {
    return Done(::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), bytes));
}

bool RegDeleteOne(HKEY parent, const char* path) {
    return Done(::RegDeleteKeyA(parent, path));
}

}  // namespace platform

namespace platform {

bool RegReadDefault(HKEY root, const char* path, char* out, DWORD cap) {
    if (cap) out[0] = 0;
    Key key;
    if (!RegOpen(root, path, KEY_READ, key)) return false;
    return RegReadText(key.Get(), nullptr, out, cap);
}

bool RegQueryInfo(HKEY key, RegKeyInfo& out) {
    out = RegKeyInfo{};
    return Done(::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &out.subKeys, &out.maxSubKeyLen,
                                   nullptr, &out.values, &out.maxValueNameLen, &out.maxValueBytes,
                                   nullptr, nullptr));
}

bool RegEnumValueAt(HKEY key, DWORD index, char* name, DWORD* nameLen, DWORD* type,
                    BYTE* data, DWORD* bytes) {
    return Done(::RegEnumValueA(key, index, name, nameLen, nullptr, type, data, bytes));
}

bool RegEnumKeyAt(HKEY key, DWORD index, char* name, DWORD* nameLen) {
    return Done(::RegEnumKeyExA(key, index, name, nameLen, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace platform
