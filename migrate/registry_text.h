// Text rewrites for the registry migration: the single replacement the
// migration is named after, and the path-aware rewrite its walk uses.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// Replaces the first occurrence of `oldText` in `text` by `newText`.
// `caseSensitive` non-zero: exact bytes; zero: ASCII letters compare without
// case (FindTextNoCase) and the matched stretch takes newText's letters.
// `*result` is null on entry; on a match it receives a new string of length
// strlen(text) - strlen(oldText) + strlen(newText), which the caller releases
// with std::free. Returns 1 on a match, 0 otherwise (also for an empty
// oldText, which would match everywhere).
int ReplaceFirstText(const char* text, const char* oldText, const char* newText,
                     char caseSensitive, char** result);

// How an old text must stand in the data to be replaced.
//  - Before the match: the start of the text, or a character that cannot
//    continue a name: anything except an ASCII letter or digit, '_', '-', '.'
//    and the bytes 0x80-0xFF (letters of the ANSI code page).
//  - After the match: the end of the text, or one of  \ / " ; , |
//    A FileName may also be followed by a space or a tab (arguments after an
//    executable); a Folder may not, so "C:\Apps\Kestrin" never matches inside
//    "C:\Apps\Kestrin Tools".
enum class MatchKind { Folder, FileName };

struct TextRewrite {
    std::string oldText;
    std::string newText;
    MatchKind kind;
    bool identity;  // old and new equal without regard to case
};

// A set of rewrites applied together in one left-to-right scan. At each
// position the longest old text that stands whole there wins (ASCII case
// ignored); the scan then continues after it, so text written by one rewrite
// is never searched by another. A rewrite whose old and new texts are equal
// without regard to case keeps the matched letters as they are: it only
// protects text that already names the new place. Add the new texts as such
// identity rewrites (AddIdentity) and a second pass over a rewritten value
// finds nothing to change.
class RewriteTable {
public:
    // Rows with an empty old text are dropped: they would match everywhere.
    void Add(const std::string& oldText, const std::string& newText, MatchKind kind);
    void AddIdentity(const std::string& text, MatchKind kind) { Add(text, text, kind); }
    bool Empty() const { return rows_.empty(); }
    const std::vector<TextRewrite>& Rows() const { return rows_; }

    // Rewrites text[0, n). Returns true when at least one stretch was
    // replaced by different bytes, and then `out` holds the whole new text
    // (replaced, not appended); on false `out` is left empty.
    bool Apply(const char* text, size_t n, std::string& out) const;

private:
    const TextRewrite* LongestAt(const char* text, size_t n, size_t pos) const;
    std::vector<TextRewrite> rows_;
};

// True when text[pos, pos+len) stands whole in text[0, n) for `kind`.
bool StandsWhole(const char* text, size_t n, size_t pos, size_t len, MatchKind kind);
