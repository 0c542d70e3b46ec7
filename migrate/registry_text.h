// Text rewrites for the registry migration: the path-aware UTF-16 rewrite
// its walk uses.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace migrate {

// How an old text must stand in the data to be replaced.
//  - Before the match: the start of the text, or a unit that cannot continue
//    a name: anything except an ASCII letter or digit, '_', '-', '.' and
//    every unit from 0x80 up (letters of any script).
//  - After the match: the end of the text, or one of the terminators of the
//    match's kind (the table kSpellings in registry_text.cpp):
//    \ / " ; , | CR LF ) ' > * and ':' (a stream name) after every kind; a
//    space or a tab also after a FileName (arguments after an executable)
//    and after a SpacelessFolder (a spelling that cannot hold a space: 8.3,
//    URL). A Folder spelled in full may hold spaces, so "C:\Apps\Kestrin"
//    never matches inside "C:\Apps\Kestrin Tools".
enum class MatchKind { Folder, SpacelessFolder, FileName };

struct TextRewrite {
    std::wstring oldText;
    std::wstring newText;
    MatchKind kind;
    bool identity;  // old and new equal without regard to case
};

// A set of rewrites applied together in one left-to-right scan over UTF-16
// text. At each position the longest old text that stands whole there wins
// (case ignored as the file system ignores it, in any script:
// platform::UpperUnit); the scan then continues after it, so text written by
// one rewrite is never searched by another. A rewrite whose old and new texts
// are equal without regard to case keeps the matched letters as they are: it
// only protects text that already names the new place. Add the new texts as
// such identity rewrites (AddIdentity) and a second pass over a rewritten
// value finds nothing to change.
class RewriteTable {
public:
    // Rows with an empty old text are dropped: they would match everywhere.
    // The char forms take UTF-8 and drop a row that is not UTF-8.
    void Add(const std::wstring& oldText, const std::wstring& newText, MatchKind kind);
    void Add(const std::string& oldText, const std::string& newText, MatchKind kind);
    void AddIdentity(const std::wstring& text, MatchKind kind) { Add(text, text, kind); }
    void AddIdentity(const std::string& text, MatchKind kind) { Add(text, text, kind); }
    bool Empty() const { return rows_.empty(); }
    const std::vector<TextRewrite>& Rows() const { return rows_; }

    // Rewrites text[0, n). Returns true when at least one stretch was
    // replaced by different units, and then `out` holds the whole new text
    // (replaced, not appended); on false `out` is left empty.
    bool Apply(const wchar_t* text, size_t n, std::wstring& out) const;

private:
    const TextRewrite* LongestAt(const wchar_t* text, size_t n, size_t pos) const;
    std::vector<TextRewrite> rows_;
};

// What the system knows of one old folder and its new place: the long forms
// (backslashes, no trailing one) and the 8.3 short forms the file system
// gave for them (GetShortPathNameW; empty when it gave none).
struct FolderMove {
    std::wstring from, to;
    std::wstring fromShort, toShort;
};
// An environment variable whose value is a folder ("ProgramFiles" ...).
struct FolderVariable {
    std::wstring name, value;
};

// Adds the rows that move `move.from` to `move.to` in every spelling of
// kSpellings, and the new folder in each spelling as an identity. Each old
// spelling becomes the new folder in the same spelling: forward slashes
// stay forward slashes, a file URL stays a URL, an 8.3 form becomes the new
// folder's 8.3 form, "%VAR%\rest" keeps the variable when the new folder
// lies below its value too. Where the new folder has no such spelling (no
// short form, not below the variable) it is written in full. A spelling
// that the system gave no form for, or that equals the full form, adds
// nothing.
void AddFolderMove(RewriteTable& table, const FolderMove& move, const std::vector<FolderVariable>& variables);

}  // namespace migrate
