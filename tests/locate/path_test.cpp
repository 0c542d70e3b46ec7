// The path helpers of common/.
#include <gtest/gtest.h>
#include "common/path.h"

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
        EXPECT_EQ(FolderOf(r.path), r.folder) << r.path;
    }
    EXPECT_EQ(JoinPath("C:", "abcd"), "C:\\abcd");
    EXPECT_EQ(JoinPath("E:\\", "abcd"), "E:\\abcd");  // the root's own separator
}
