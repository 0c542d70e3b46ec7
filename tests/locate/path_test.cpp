#include <gtest/gtest.h>
#include <cstring>
#include "common/path.h"

TEST(FileNameStart, CutsAtLastSeparatorNeverAtZero) {
    struct { const char* path; size_t start; const char* folder; } rows[] = {
        {"C:\\Kestrin.exe", 3, "C:\\"},  // a drive root stays a folder, not "C:"
        {"Kestrin.exe", 1, ""},
        {"C:Kestrin.exe", 2, "C"},
        {"\\Kestrin.exe", 1, ""},
        {"", 1, ""},
        {"C:\\Program Files\\Kestrin\\Kestrin.exe", 25, "C:\\Program Files\\Kestrin"},
    };
    for (auto& r : rows) {
        EXPECT_EQ(FileNameStart(r.path), r.start) << r.path;
        char buf[256];
        std::strcpy(buf, r.path);
        CutToFolder(buf);
        EXPECT_STREQ(buf, r.folder) << r.path;
    }
}

TEST(StripQuotes, OneAtEachEndIndependently) {
    struct { const char* in; const char* out; } rows[] = {
        {"\"", ""}, {"\"\"", ""}, {"a\"b", "a\"b"}, {"\"abc", "abc"}, {"abc\"", "abc"},
        {"\"C:\\K\\Kestrin.exe\" \"%1\"", "C:\\K\\Kestrin.exe\" \"%1"}, {"", ""},
    };
    for (auto& r : rows) {
        char buf[64];
        std::strcpy(buf, r.in);
        StripQuotes(buf);
        EXPECT_STREQ(buf, r.out) << r.in;
    }
}

TEST(JoinPath, RefusesWhatDoesNotFit) {
    char out[8];
    EXPECT_TRUE(JoinPath(out, sizeof out, "C:", "abcd"));  // 7 chars + NUL
    EXPECT_STREQ(out, "C:\\abcd");
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(JoinPath(out, sizeof out, "C:", "abcde"));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(JoinPath(out, sizeof out, "E:\\", "abcd"));  // the root's own separator
    EXPECT_STREQ(out, "E:\\abcd");
}

TEST(PathsEqual, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(PathsEqual("C:\\Program Files", "c:\\PROGRAM files"));
    EXPECT_FALSE(PathsEqual("C:\\x", "C:\\x\\"));
    EXPECT_FALSE(PathsEqual("\xC4", "\xE4"));
}

TEST(FindTextNoCase, FirstOccurrence) {
    EXPECT_EQ(FindTextNoCase("abc WPT0036 wpt0036", "wpt0036"), 4);
    EXPECT_EQ(FindTextNoCase("abc", ""), -1);
    EXPECT_EQ(FindTextNoCase("ab", "abc"), -1);
}
