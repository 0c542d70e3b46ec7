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

void RegistryList::Add(RegistryItem item) {
    if (items.size() < kRegistryListCap) items.push_back(std::move(item));
    ++count;
}

void RegistryList::Append(const RegistryList& other) {
    for (size_t i = 0; i < other.items.size() && items.size() < kRegistryListCap; ++i) items.push_back(other.items[i]);
    count += other.count;
}

void RegistryWalkResult::Add(const RegistryWalkResult& other) {
    keys += other.keys;
    values += other.values;
    rewritten += other.rewritten;
    notWritten.Append(other.notWritten);
    unreadable += other.unreadable;
    aliasesLeft += other.aliasesLeft;
    links.Append(other.links);
    tooDeep.Append(other.tooDeep);
    stopped = stopped || other.stopped;
}

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
    RegistryMode mode;
    const StopCheck& stop;
    const KeyEntered& entered;
    RegistryWalkResult& result;
    std::vector<std::wstring> leaveOut;  // below the first key only
    std::wstring path;                   // the current key: its label, then "\name" per level
    unsigned depth;                      // of the current key below the first
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

// UTF-8 for a result; a unit UTF-8 cannot spell (an unpaired surrogate)
// becomes U+FFFD, so the name stays readable rather than empty.
std::string Shown(const std::wstring& w) {
    std::string out;
    if (platform::ToUtf8(w, out)) return out;
    std::wstring fixed = w;
    for (size_t i = 0; i < fixed.size(); ++i) {
        bool high = fixed[i] >= 0xD800 && fixed[i] <= 0xDBFF, low = fixed[i] >= 0xDC00 && fixed[i] <= 0xDFFF;
        if (high && i + 1 < fixed.size() && fixed[i + 1] >= 0xDC00 && fixed[i + 1] <= 0xDFFF)
            ++i;
        else if (high || low)
            fixed[i] = 0xFFFD;
    }
    platform::ToUtf8(fixed, out);
    return out;
}

RegistryItem KeyItem(const Walk& walk) { return RegistryItem{Shown(walk.path), std::string(), 0}; }

void WritePending(HKEY key, const std::vector<PendingWrite>& pending, Walk& walk) {
    // A new handle to the same key (a link key itself, never what it points
    // to), with only the right this step needs. The dry run asks for it too.
    platform::Key writable;
    DWORD openError = platform::RegOpenNoFollow(key, L"", KEY_SET_VALUE, writable) ? 0 : ::GetLastError();
    for (const PendingWrite& w : pending) {
        DWORD error = openError;
        if (!error && walk.mode == RegistryMode::Rewrite &&
            !WriteValueExactly(writable.Get(), w.name.c_str(), w.type, w.data))
            error = ::GetLastError();
        if (error)
            walk.result.notWritten.Add(RegistryItem{Shown(walk.path), Shown(w.name), error});
        else
            ++walk.result.rewritten;
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

// Reads every value of `key` and rewrites those that need it. True when the
// key is a link: the link's own value is seen here, among the others, so
// telling a link costs no call of its own.
bool RewriteValues(HKEY key, const platform::RegKeyInfo& info, Walk& walk) {
    walk.buf.Fit(info.maxValueNameLen, info.maxValueBytes);
    std::vector<PendingWrite> pending;
    bool link = false;
    for (DWORD index = 0; index < info.values; ++index) {
        DWORD nameLen = 0, type = 0, bytes = 0;
        if (!ReadValueAt(key, index, walk, nameLen, type, bytes)) {
            if (::GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;  // this one value is unreadable; the others still count
        }
        ++walk.result.values;
        if (platform::IsLinkValue(walk.buf.name.data(), nameLen, type)) {
            link = true;  // REG_LINK is no text: RewriteValueData would keep it anyway
            continue;
        }
        if (!RewriteValueData(walk.table, type, walk.buf.data.data(), bytes, walk.buf.rewritten)) continue;
        pending.push_back(PendingWrite{std::wstring(walk.buf.name.data(), nameLen), type, walk.buf.rewritten});
    }
    if (!pending.empty()) WritePending(key, pending, walk);
    return link;
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
            ++walk.result.aliasesLeft;
            continue;
        }
        if (walk.stop && walk.stop()) {
            walk.result.stopped = true;
            return;
        }
        if (walk.entered) walk.entered(walk.depth + 1);
        size_t parentLen = walk.path.size();
        walk.path.push_back(L'\\');
        walk.path.append(name.data(), len);
        platform::Key sub;
        if (walk.depth == kMaxRegistryDepth) {
            walk.result.tooDeep.Add(KeyItem(walk));
        } else if (!platform::RegOpenNoFollow(key, name.data(), kWalkAccess, sub)) {
            ++walk.result.unreadable;
        } else {
            ++walk.depth;
            WalkKey(sub.Get(), walk, false);
            --walk.depth;
        }
        walk.path.resize(parentLen);
        if (walk.result.stopped) return;
    }
}

void WalkKey(HKEY key, Walk& walk, bool first) {
    platform::RegKeyInfo info;
    if (!platform::RegQueryInfo(key, info)) {
        ++walk.result.unreadable;
        return;
    }
    ++walk.result.keys;
    if (walk.mode == RegistryMode::Count && walk.depth == kCountDepth - 1) {
        walk.result.keys += info.subKeys;  // counted, not entered
        return;
    }
    if (walk.mode != RegistryMode::Count && info.values && RewriteValues(key, info, walk)) {
        walk.result.links.Add(KeyItem(walk));
        return;
    }
    WalkSubkeys(key, info, walk, first);
}

}  // namespace

RegistryWalkResult RewriteRegistryTree(HKEY key, const char* label, const RewriteTable& table, RegistryMode mode,
                                       const StopCheck& stop, const std::vector<std::string>& leaveOut,
                                       const KeyEntered& entered) {
    RegistryWalkResult result;
    if (table.Empty() && mode != RegistryMode::Count) return result;
    Walk walk{table, mode, stop, entered, result, {}, {}, 0, ValueBuffers{}};
    platform::ToWide(label, walk.path);
    for (const std::string& n : leaveOut) {
        std::wstring w;
        if (platform::ToWide(n.c_str(), w)) walk.leaveOut.push_back(w);
    }
    WalkKey(key, walk, true);
    return result;
}

}  // namespace migrate
