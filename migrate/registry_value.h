// Rewrites the paths inside one registry value's data, by the value's type.
#pragma once
#include <windows.h>
#include <string>
#include "migrate/registry_text.h"

// Only text is rewritten: REG_SZ and REG_EXPAND_SZ up to their first NUL (any
// bytes after it are kept), REG_MULTI_SZ element by element (every element
// and every NUL kept, so the element count never changes). Every other type
// is left alone, even when its bytes happen to spell a path. Data without a
// NUL is read only up to `bytes`. Returns true and fills `out` with the whole
// new data when it differs from the old; false means "keep the value".
bool RewriteValueData(const RewriteTable& table, DWORD type, const BYTE* data, size_t bytes,
                      std::string& out);

// Writes `data` as the value's whole data, byte for byte. The narrow
// RegSetValueEx counts a NUL that directly follows the given bytes of a text
// value as if the caller had forgotten it, so text stored without a NUL would
// gain one; a byte that is not NUL is placed after the data and never stored.
bool WriteValueExactly(HKEY key, const char* name, DWORD type, std::string data);
