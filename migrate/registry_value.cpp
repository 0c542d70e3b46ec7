#include "migrate/registry_value.h"
#include <cstring>
#include "platform/reg.h"

namespace migrate {

// Rewrites the NUL-free stretch text[0, n) and appends it to `out`.
static bool AppendRewritten(const RewriteTable& table, const wchar_t* text, size_t n, std::wstring& scratch,
                            std::wstring& out) {
    bool changed = table.Apply(text, n, scratch);
    if (changed)
        out.append(scratch);
    else
        out.append(text, n);
    return changed;
}

bool RewriteValueData(const RewriteTable& table, DWORD type, const BYTE* data, size_t bytes, std::string& out) {
    out.clear();
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return false;
    // Copied into units of their own: registry data need not be aligned.
    size_t n = bytes / sizeof(wchar_t);
    std::wstring text(n, L'\0');
    if (n) std::memcpy(&text[0], data, n * sizeof(wchar_t));
    bool everyElement = type == REG_MULTI_SZ;
    bool changed = false;
    std::wstring scratch, units;
    size_t pos = 0;
    while (pos < n) {
        size_t end = text.find(L'\0', pos);
        if (end == std::wstring::npos) end = n;
        changed |= AppendRewritten(table, text.data() + pos, end - pos, scratch, units);
        if (end == n) break;
        units.push_back(L'\0');
        pos = end + 1;
        if (!everyElement) {
            // A single text ends at its NUL; whatever follows is kept as it is.
            units.append(text, pos, n - pos);
            break;
        }
    }
    if (!changed) return false;
    out.assign(reinterpret_cast<const char*>(units.data()), units.size() * sizeof(wchar_t));
    if (bytes % sizeof(wchar_t)) out.push_back(static_cast<char>(data[bytes - 1]));
    return true;
}

bool WriteValueExactly(HKEY key, const wchar_t* name, DWORD type, const std::string& data) {
    return platform::RegWriteRaw(key, name, type, data.data(), static_cast<DWORD>(data.size()));
}

}  // namespace migrate
