#include "migrate/registry_walk.h"
#include <cstring>
#include <string>
#include <vector>
#include "common/path.h"
#include "migrate/registry_value.h"
#include "platform/reg.h"
#include "platform/utf.h"
#include "engine/core/ascii.h"

namespace migrate {
using namespace common;

namespace {

// Reading needs no more than this; write access is asked only per change.
constexpr REGSAM kWalkAccess = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
// Registry names are at most 16383 characters; data grows as reported.
constexpr DWORD kNameLimit = 16384;
constexpr int kMoreDataRetries = 8;

struct PendingWrite {
    std::wstring name;
    DWORD type;
    std::string data;
};

// Buffers for reading values, shared by every level of one walk: a key's
// values are finished before its subkeys are entered.
struct ValueBuffers {
    std::vector<wchar_t> name;
    std::vector<BYTE> data;
    std::string rewritten;

    void Fit(DWORD nameChars, DWORD dataBytes) {
        if (name.size() < nameChars + 1) name.resize(nameChars + 1);
        if (data.size() < dataBytes + 1) data.resize(dataBytes + 1);
    }
};

struct Walk {
    const RewriteTable& table;
    RegistryWalkStats& stats;
    std::vector<std::wstring> leaveOut;  // below the first key only
    ValueBuffers buf;
};

using core::ascii::Fold;

bool LeftOut(const Walk& walk, const wchar_t* name, DWORD len) {
    for (const std::wstring& n : walk.leaveOut) {
        if (n.size() != len) continue;
        size_t i = 0;
        while (i < len && Fold(n[i]) == Fold(name[i])) ++i;
        if (i == len) return true;
    }
    return false;
}

void WritePending(HKEY key, const std::vector<PendingWrite>& pending, RegistryWalkStats& stats) {
    // A new handle to the same key, with only the right this step needs.
    platform::Key writable;
    bool open = platform::RegOpenSub(key, L"", KEY_SET_VALUE, writable);
    for (const PendingWrite& w : pending) {
        if (open && WriteValueExactly(writable.Get(), w.name.c_str(), w.type, w.data))
            ++stats.rewritten;
        else
            ++stats.failedWrites;
    }
}

// Reads the value at `index` into walk.buf, growing the buffers when the
// value outgrew the key's maxima since they were read.
bool ReadValueAt(HKEY key, DWORD index, Walk& walk, DWORD& nameLen, DWORD& type, DWORD& bytes) {
    for (int attempt = 0;; ++attempt) {
        nameLen = static_cast<DWORD>(walk.buf.name.size());
        bytes = static_cast<DWORD>(walk.buf.data.size());
        type = 0;
        if (platform::RegEnumValueAt(key, index, walk.buf.name.data(), &nameLen, &type, walk.buf.data.data(), &bytes))
            return true;
        if (::GetLastError() != ERROR_MORE_DATA || attempt == kMoreDataRetries) return false;
        DWORD wantData = bytes > walk.buf.data.size() ? bytes : 2 * walk.buf.data.size();
        DWORD wantName = 2 * static_cast<DWORD>(walk.buf.name.size());
        walk.buf.Fit(wantName < kNameLimit ? wantName : kNameLimit, wantData);
    }
}

void RewriteValues(HKEY key, const platform::RegKeyInfo& info, Walk& walk) {
    walk.buf.Fit(info.maxValueNameLen, info.maxValueBytes);
    std::vector<PendingWrite> pending;
    for (DWORD index = 0; index < info.values; ++index) {
        DWORD nameLen = 0, type = 0, bytes = 0;
        if (!ReadValueAt(key, index, walk, nameLen, type, bytes)) {
            if (::GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;  // this one value is unreadable; the others still count
        }
        ++walk.stats.values;
        if (!RewriteValueData(walk.table, type, walk.buf.data.data(), bytes, walk.buf.rewritten)) continue;
        pending.push_back(PendingWrite{std::wstring(walk.buf.name.data(), nameLen), type, walk.buf.rewritten});
    }
    if (!pending.empty()) WritePending(key, pending, walk.stats);
}

void WalkKey(HKEY key, Walk& walk, bool first);

void WalkSubkeys(HKEY key, const platform::RegKeyInfo& info, Walk& walk, bool first) {
    if (info.subKeys == 0) return;
    // One name buffer per level: it must survive the recursion below.
    std::vector<wchar_t> name(info.maxSubKeyLen + 1 > 256 ? info.maxSubKeyLen + 1 : 256);
    for (DWORD index = 0; index < info.subKeys; ++index) {
        DWORD len = static_cast<DWORD>(name.size());
        if (!platform::RegEnumKeyAt(key, index, name.data(), &len)) {
            DWORD rc = ::GetLastError();
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc == ERROR_MORE_DATA && name.size() < kNameLimit) {
                name.resize(kNameLimit);
                --index;  // read the same index again
            }
            continue;
        }
        if (first && LeftOut(walk, name.data(), len)) {
            ++walk.stats.aliasesLeft;
            continue;
        }
        platform::Key sub;
        if (!platform::RegOpenSub(key, name.data(), kWalkAccess, sub)) {
            ++walk.stats.skippedKeys;
            continue;
        }
        WalkKey(sub.Get(), walk, false);
    }
}

void WalkKey(HKEY key, Walk& walk, bool first) {
    platform::RegKeyInfo info;
    if (!platform::RegQueryInfo(key, info)) {
        ++walk.stats.skippedKeys;
        return;
    }
    ++walk.stats.keys;
    if (info.values) RewriteValues(key, info, walk);
    WalkSubkeys(key, info, walk, first);
}

}  // namespace

void RewriteRegistryTree(HKEY key, const RewriteTable& table, RegistryWalkStats& stats,
                         const std::vector<std::string>& leaveOut) {
    if (table.Empty()) return;
    Walk walk{table, stats, {}, ValueBuffers{}};
    for (const std::string& n : leaveOut) {
        std::wstring w;
        if (platform::ToWide(n.c_str(), w)) walk.leaveOut.push_back(w);
    }
    WalkKey(key, walk, true);
}

}  // namespace migrate
