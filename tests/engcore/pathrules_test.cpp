// The path rules: what a patch file may name inside the working folder.
#include <gtest/gtest.h>

#include "patchfile.h"

namespace {

TEST(PathRules, Table) {
    // Two tables, a row per kind of name.
    // clang-format off
    const std::string safe[] = {
        "a", "Program\\bin\\app.exe", "a b\\c d.txt", ".hidden", "a..b", "CONFIG.SYS", "COM10", "LPT0", "console",
        "\xC3\xA9t\xC3\xA9.txt", "\xE6\x96\x87\xE4\xBB\xB6", "\xF0\x9F\x98\x80.txt",  // UTF-8, CJK, beyond the BMP
        std::string(1024, 'x')};
    const std::string unsafe[] = {
        "", "\\", "\\a", "\\\\server\\share\\a", "C:\\a", "C:a", "a\\..\\..\\b", "..", "a\\.", ".", "a\\\\b", "a\\",
        "a/b", "a:stream", "a.", "a ", "dir.\\a", "dir \\a",                                // trailing dot or space
        "CON", "con", "Con.txt", "a\\NUL.tar.gz", "aux", "PRN.x", "COM1", "com9.log", "LPT5", "CON .txt", "CONIN$",
        "conout$.x", "COM\xC2\xB9",                                                          // superscript one
        "a\tb", "a\x7f", "a<b", "a>b", "a|b", "a?b", "a*b", "a\"b", std::string("a\0b", 3), std::string(1025, 'x'),
        "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF"};  // cut, overlong, surrogate, too high, bad
    // clang-format on
    for (const std::string& p : safe) EXPECT_TRUE(core::patchfile::IsSafeRelativePath(p)) << '"' << p << '"';
    for (const std::string& p : unsafe) EXPECT_FALSE(core::patchfile::IsSafeRelativePath(p)) << '"' << p << '"';
}

}  // namespace
