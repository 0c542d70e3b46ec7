#include "migrate/registry_value.h"
#include <cstring>
#include "platform/reg.h"

// Rewrites the NUL-free stretch text[0, n) and appends it to `out`.
static bool AppendRewritten(const RewriteTable& table, const char* text, size_t n,
                            std::string& scratch, std::string& out) {
    bool changed = table.Apply(text, n, scratch);
    if (changed) out.append(scratch);
    else out.append(text, n);
    return changed;
}

bool RewriteValueData(const RewriteTable& table, DWORD type, const BYTE* data, size_t bytes,
                      std::string& out) {
    out.clear();
    if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return false;
    const char* text = reinterpret_cast<const char*>(data);
    bool everyElement = type == REG_MULTI_SZ;
    bool changed = false;
    std::string scratch;
    size_t pos = 0;
    while (pos < bytes) {
        const void* nul = std::memchr(text + pos, 0, bytes - pos);
        size_t end = nul ? static_cast<size_t>(static_cast<const char*>(nul) - text) : bytes;
        changed |= AppendRewritten(table, text + pos, end - pos, scratch, out);
        if (end == bytes) break;
        out.push_back(0);
        pos = end + 1;
        if (!everyElement) {
            // A single text ends at its NUL; whatever follows is kept as it is.
            out.append(text + pos, bytes - pos);
            break;
        }
    }
    return changed;
}

bool WriteValueExactly(HKEY key, const char* name, DWORD type, std::string data) {
    DWORD bytes = static_cast<DWORD>(data.size());
    data.push_back('\x01');
    return platform::RegWrite(key, name, type, data.data(), bytes);
}
