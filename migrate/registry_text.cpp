#include "migrate/registry_text.h"
#include <cstdlib>
#include <cstring>
#include "common/path.h"

int ReplaceFirstText(const char* text, const char* oldText, const char* newText,
                     char caseSensitive, char** result) {
    *result = nullptr;
    if (oldText[0] == 0) return 0;
    long p;
    if (caseSensitive) {
        const char* hit = std::strstr(text, oldText);
        p = hit ? static_cast<long>(hit - text) : -1;
    } else {
        p = FindTextNoCase(text, oldText);
    }
    if (p < 0) return 0;
    size_t n = std::strlen(text), o = std::strlen(oldText), m = std::strlen(newText);
    size_t at = static_cast<size_t>(p);
    // at + o <= n holds: the match lies inside the text.
    char* out = static_cast<char*>(std::malloc(n - o + m + 1));
    if (!out) return 0;
    std::memcpy(out, text, at);
    std::memcpy(out + at, newText, m);
    std::memcpy(out + at + m, text + at + o, n - at - o);
    out[n - o + m] = 0;
    *result = out;
    return 1;
}

static char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

static bool ContinuesName(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
           u == '_' || u == '-' || u == '.' || u >= 0x80;
}

static bool EndsPath(char c, MatchKind kind) {
    switch (c) {
    case '\\': case '/': case '"': case ';': case ',': case '|':
        return true;
    case ' ': case '\t':
        return kind == MatchKind::FileName;
    default:
        return false;
    }
}

bool StandsWhole(const char* text, size_t n, size_t pos, size_t len, MatchKind kind) {
    if (pos > n || len > n - pos) return false;
    if (pos > 0 && ContinuesName(text[pos - 1])) return false;
    size_t end = pos + len;
    return end == n || EndsPath(text[end], kind);
}

void RewriteTable::Add(const std::string& oldText, const std::string& newText, MatchKind kind) {
    if (oldText.empty()) return;
    rows_.push_back(TextRewrite{oldText, newText, kind, PathsEqual(oldText.c_str(), newText.c_str())});
}

static bool EqualNoCaseAt(const char* text, size_t n, size_t pos, const std::string& what) {
    if (what.size() > n - pos) return false;
    for (size_t i = 0; i < what.size(); ++i)
        if (Fold(text[pos + i]) != Fold(what[i])) return false;
    return true;
}

const TextRewrite* RewriteTable::LongestAt(const char* text, size_t n, size_t pos) const {
    const TextRewrite* best = nullptr;
    for (const TextRewrite& r : rows_) {
        if (best && r.oldText.size() <= best->oldText.size()) continue;
        if (!EqualNoCaseAt(text, n, pos, r.oldText)) continue;
        if (!StandsWhole(text, n, pos, r.oldText.size(), r.kind)) continue;
        best = &r;
    }
    return best;
}

bool RewriteTable::Apply(const char* text, size_t n, std::string& out) const {
    out.clear();
    bool changed = false;
    size_t pos = 0, copied = 0;  // text[copied, pos) is still to be copied
    while (pos < n) {
        const TextRewrite* r = LongestAt(text, n, pos);
        if (!r) { ++pos; continue; }
        size_t len = r->oldText.size();
        if (!r->identity) {
            out.append(text + copied, pos - copied);
            out.append(r->newText);
            copied = pos + len;
            changed = true;
        }
        pos += len;
    }
    // Nothing is copied unless something changed: most values name nothing.
    if (changed) out.append(text + copied, n - copied);
    return changed;
}
