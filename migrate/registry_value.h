// Rewrites the paths inside one registry value's data, by the value's type.
#pragma once
#include <windows.h>
#include <string>
#include "migrate/registry_text.h"

namespace migrate {

// Only text is rewritten, as the UTF-16 the registry holds it in: REG_SZ and
// REG_EXPAND_SZ up to their first NUL unit (any data after it is kept),
// REG_MULTI_SZ element by element (every element and every NUL kept, so the
// element count never changes). Every other type is left alone, even when
// its bytes happen to spell a path. Data without a NUL is read only up to
// `bytes`; an odd last byte is no unit of text and is kept as it is. Returns
// true and fills `out` with the whole new data (bytes) when it differs from
// the old; false means "keep the value".
bool RewriteValueData(const RewriteTable& table, DWORD type, const BYTE* data, size_t bytes, std::string& out);

// Writes `data` as the value's whole data, byte for byte: text keeps or
// lacks its NUL as it came (platform::RegWriteRaw adds none).
bool WriteValueExactly(HKEY key, const wchar_t* name, DWORD type, const std::string& data);

}  // namespace migrate
