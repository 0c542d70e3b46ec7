// The path helpers of common/ on the updater's fixed buffers, and the
// open-file dialog's refusal of a buffer that cannot take its answer.
#include <gtest/gtest.h>
#include <cstring>
#include "common/path.h"
#include "platform/opendialog.h"

using namespace common;

TEST(Path, CutAndJoin) {
    // clang-format off
    const struct { const char* path; size_t start; const char* folder; } cuts[] = {
        {"C:\\Kestrin.exe", 3, "C:\\"},  // a drive root stays a folder, not "C:"
        {"Kestrin.exe", 1, ""}, {"C:Kestrin.exe", 2, "C"}, {"\\Kestrin.exe", 1, ""}, {"", 1, ""},
        {"C:\\Program Files\\Kestrin\\Kestrin.exe", 25, "C:\\Program Files\\Kestrin"},
    };
    // clang-format on
    for (const auto& r : cuts) {
        EXPECT_EQ(FileNameStart(r.path), r.start) << r.path;
        char buf[256];
        CutToFolder(std::strcpy(buf, r.path));
        EXPECT_STREQ(buf, r.folder) << r.path;
    }
    char out[8] = "xxxxxxx";
    EXPECT_FALSE(JoinPath(out, sizeof out, "C:", "abcde"));
    EXPECT_STREQ(out, "");
    EXPECT_TRUE(JoinPath(out, sizeof out, "C:", "abcd"));  // 7 chars + NUL
    EXPECT_STREQ(out, "C:\\abcd");
    EXPECT_TRUE(JoinPath(out, sizeof out, "E:\\", "abcd"));  // the root's own separator
    EXPECT_STREQ(out, "E:\\abcd");
}

TEST(OpenDialog, RefusesBuffersTooSmallForTheInitialName) {
    char out[12] = "xxxxxxxxxxx";  // one short of "Kestrin.exe" and its NUL
    EXPECT_FALSE(platform::AskOpenFile(nullptr, "t", "*.exe", "Kestrin.exe", out, 11));
    EXPECT_STREQ(out, "");
}
