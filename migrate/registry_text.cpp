#include "migrate/registry_text.h"
#include <cstdlib>
#include <cstring>
#include "common/path.h"
#include "platform/strings.h"
#include "platform/utf.h"

namespace migrate {
using namespace common;

namespace {

// Case is ignored as the file system ignores it: ASCII at once, any other
// unit by the system's upper-case mapping.
wchar_t Fold(wchar_t c) {
    if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    return platform::UpperUnit(c);
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

bool ContinuesName(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'_' || c == L'-' ||
           c == L'.' || c >= 0x80;
}

// One folder in one spelling; false when it has none. `variable` is set for
// the variable family only.
using Speller = bool (*)(const std::wstring& folder, const std::wstring& shortForm, const FolderVariable* variable,
                         std::wstring& out);

bool Full(const std::wstring& folder, const std::wstring&, const FolderVariable*, std::wstring& out) {
    out = folder;
    return true;
}

bool Slashes(const std::wstring& folder, const std::wstring&, const FolderVariable*, std::wstring& out) {
    out = folder;
    for (wchar_t& c : out)
        if (c == L'\\') c = L'/';
    return true;
}

bool Short(const std::wstring&, const std::wstring& shortForm, const FolderVariable*, std::wstring& out) {
    out = shortForm;
    return !out.empty();
}

// "%NAME%\rest" when the folder is the variable's value or lies below it.
bool BelowVariable(const std::wstring& folder, const std::wstring&, const FolderVariable* v, std::wstring& out) {
    std::wstring value = v->value;
    while (!value.empty() && value.back() == L'\\') value.pop_back();
    if (value.empty() || folder.size() < value.size() || !EqualNoCase(folder.substr(0, value.size()), value) ||
        (folder.size() > value.size() && folder[value.size()] != L'\\'))
        return false;
    out = L"%" + v->name + L"%" + folder.substr(value.size());
    return true;
}

// "file:///C:/Program%20Files/..." as the shell writes a local file URL.
bool FileUrl(const std::wstring& folder, const std::wstring&, const FolderVariable*, std::wstring& out) {
    out = L"file:///";
    for (wchar_t c : folder) {
        if (c == L'\\')
            out += L'/';
        else if (c == L' ')
            out += L"%20";
        else if (c == L'%')
            out += L"%25";
        else
            out += c;
    }
    return true;
}

// The one table of spellings and terminators. A folder is matched in every
// spelling below; what may follow it there is the row's terminator set (the
// start of a match is ruled by ContinuesName for every row alike).
const wchar_t kEndsFolder[] = L"\\/\";,|\r\n)'>*:";
const wchar_t kEndsSpaceless[] = L"\\/\";,|\r\n)'>*: \t";

struct Spelling {
    Speller spell;
    bool perVariable;  // once for each FolderVariable
    MatchKind kind;
};
const Spelling kSpellings[] = {
    {Full, false, MatchKind::Folder},              // C:\Program Files\Kestrin
    {Slashes, false, MatchKind::Folder},           // C:/Program Files/Kestrin
    {Short, false, MatchKind::SpacelessFolder},    // C:\PROGRA~1\Kestrin
    {BelowVariable, true, MatchKind::Folder},      // %ProgramFiles%\Kestrin
    {FileUrl, false, MatchKind::SpacelessFolder},  // file:///C:/Program%20Files/Kestrin
};
// Terminators by MatchKind, in the enum's order: Folder, SpacelessFolder,
// FileName (an executable's name may be followed by its arguments).
const wchar_t* const kEnds[] = {kEndsFolder, kEndsSpaceless, kEndsSpaceless};

bool StandsWhole(const wchar_t* text, size_t n, size_t pos, size_t len, MatchKind kind) {
    if (pos > n || len > n - pos) return false;
    if (pos > 0 && ContinuesName(text[pos - 1])) return false;
    size_t end = pos + len;
    return end == n || (text[end] != 0 && std::wcschr(kEnds[static_cast<int>(kind)], text[end]));
}

bool EqualNoCaseAt(const wchar_t* text, size_t n, size_t pos, const std::wstring& what) {
    if (what.size() > n - pos) return false;
    for (size_t i = 0; i < what.size(); ++i)
        if (Fold(text[pos + i]) != Fold(what[i])) return false;
    return true;
}

void AddSpelling(RewriteTable& table, const Spelling& s, const FolderMove& move, const FolderVariable* variable) {
    std::wstring from, to;
    if (!s.spell(move.from, move.fromShort, variable, from)) return;
    // Already there as the full form (an 8.3-valid path): the full form's
    // stricter terminators decide.
    if (s.spell != Full && EqualNoCase(from, move.from)) return;
    bool spelled = s.spell(move.to, move.toShort, variable, to);
    table.Add(from, spelled ? to : move.to, s.kind);
    if (spelled) table.AddIdentity(to, s.kind);
}

}  // namespace

void AddFolderMove(RewriteTable& table, const FolderMove& move, const std::vector<FolderVariable>& variables) {
    for (const Spelling& s : kSpellings) {
        if (!s.perVariable) {
            AddSpelling(table, s, move, nullptr);
            continue;
        }
        for (const FolderVariable& v : variables) AddSpelling(table, s, move, &v);
    }
}

void RewriteTable::Add(const std::wstring& oldText, const std::wstring& newText, MatchKind kind) {
    if (oldText.empty()) return;
    rows_.push_back(TextRewrite{oldText, newText, kind, EqualNoCase(oldText, newText)});
}

void RewriteTable::Add(const std::string& oldText, const std::string& newText, MatchKind kind) {
    std::wstring o, n;
    if (platform::ToWide(oldText.c_str(), oldText.size(), o) && platform::ToWide(newText.c_str(), newText.size(), n))
        Add(o, n, kind);
}

const TextRewrite* RewriteTable::LongestAt(const wchar_t* text, size_t n, size_t pos) const {
    const TextRewrite* best = nullptr;
    for (const TextRewrite& r : rows_) {
        if (best && r.oldText.size() <= best->oldText.size()) continue;
        if (!EqualNoCaseAt(text, n, pos, r.oldText)) continue;
        if (!StandsWhole(text, n, pos, r.oldText.size(), r.kind)) continue;
        best = &r;
    }
    return best;
}

bool RewriteTable::Apply(const wchar_t* text, size_t n, std::wstring& out) const {
    out.clear();
    bool changed = false;
    size_t pos = 0, copied = 0;  // text[copied, pos) is still to be copied
    while (pos < n) {
        const TextRewrite* r = LongestAt(text, n, pos);
        if (!r) {
            ++pos;
            continue;
        }
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

}  // namespace migrate
