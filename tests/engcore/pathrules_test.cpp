// The path rules: what a patch file may name inside the working folder.
#include <gtest/gtest.h>

#include "patchfile.h"

namespace {

struct Row {
  const char* path;
  bool safe;
};

const Row kRows[] = {
    {"a", true},
    {"a.txt", true},
    {"Program\\bin\\app.exe", true},
    {"a b\\c d.txt", true},
    {".hidden", true},
    {"a..b", true},
    {"CONFIG.SYS", true},
    {"COM10", true},
    {"LPT0", true},
    {"console", true},
    {"\xC3\xA9t\xC3\xA9.txt", true},          // UTF-8
    {"\xE6\x96\x87\xE4\xBB\xB6", true},        // CJK
    {"\xF0\x9F\x98\x80.txt", true},            // outside the BMP
    {"", false},
    {"\\", false},
    {"\\a", false},                            // rooted
    {"\\\\server\\share\\a", false},           // UNC
    {"C:\\a", false},                          // drive letter
    {"C:a", false},
    {"a\\..\\..\\b", false},
    {"..", false},
    {"a\\.", false},
    {".", false},
    {"a\\\\b", false},                         // empty component
    {"a\\", false},
    {"a/b", false},
    {"a:stream", false},
    {"a.txt:$DATA", false},
    {"a.", false},                             // trailing dot
    {"a ", false},                             // trailing space
    {"dir.\\a", false},
    {"dir \\a", false},
    {"CON", false},
    {"con", false},
    {"Con.txt", false},
    {"a\\NUL.tar.gz", false},
    {"aux", false},
    {"PRN.x", false},
    {"COM1", false},
    {"com9.log", false},
    {"LPT5", false},
    {"CON .txt", false},
    {"CONIN$", false},
    {"conout$.x", false},
    {"COM\xC2\xB9", false},                    // superscript one
    {"a\tb", false},
    {"a\x7f", false},
    {"a<b", false},
    {"a>b", false},
    {"a|b", false},
    {"a?b", false},
    {"a*b", false},
    {"a\"b", false},
    {"\xC3", false},                           // cut UTF-8
    {"\xC0\xAF", false},                       // overlong '/'
    {"\xED\xA0\x80", false},                   // surrogate
    {"\xF4\x90\x80\x80", false},               // above U+10FFFF
    {"\xFF", false},
};

TEST(PathRules, Table) {
  for (const Row& r : kRows) EXPECT_EQ(patchfile::IsSafeRelativePath(r.path), r.safe) << '"' << r.path << '"';
}

TEST(PathRules, EmbeddedZeroAndLength) {
  EXPECT_FALSE(patchfile::IsSafeRelativePath(std::string("a\0b", 3)));
  EXPECT_TRUE(patchfile::IsSafeRelativePath(std::string(1024, 'x')));
  EXPECT_FALSE(patchfile::IsSafeRelativePath(std::string(1025, 'x')));
}

}  // namespace
