// Registry. Every wrapper stores the registry call's own return value as the
// thread's last error, so callers read failures with GetLastError() as
// everywhere else in platform/.
#pragma once
#include <windows.h>
#include "platform/handles.h"

namespace platform {

// Opens an existing key; never creates one.
bool RegOpen(HKEY root, const char* path, REGSAM access, Key& out);
// Creates the key and every missing key on its path, or opens it.
bool RegCreate(HKEY root, const char* path, REGSAM access, Key& out);
// Reads a text value (REG_SZ / REG_EXPAND_SZ) of an open key; `name` null or ""
// is the default value. The text is always NUL-terminated within `cap`;
// fails with ERROR_MORE_DATA when it does not fit, ERROR_FILE_NOT_FOUND when
// missing, ERROR_UNSUPPORTED_TYPE when not text.
bool RegReadText(HKEY key, const char* name, char* out, DWORD cap);
// Writes raw data of the given type.
bool RegWrite(HKEY key, const char* name, DWORD type, const void* data, DWORD bytes);
// Deletes one key (without subkeys) below an open key.
bool RegDeleteOne(HKEY parent, const char* path);

}  // namespace platform
