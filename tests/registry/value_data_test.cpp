// Rewriting one value's data by its type, without the registry.
#include <gtest/gtest.h>
#include <string>
#include "migrate/registry_value.h"

namespace {

RewriteTable Table() {
    RewriteTable t;
    t.Add("C:\\Old", "D:\\New Place", MatchKind::Folder);
    t.Add("Kestrin.exe", "Dovetra.exe", MatchKind::FileName);
    t.AddIdentity("D:\\New Place", MatchKind::Folder);
    return t;
}

bool Rewrite(DWORD type, const std::string& in, std::string& out) {
    return RewriteValueData(Table(), type, reinterpret_cast<const BYTE*>(in.data()), in.size(), out);
}

TEST(RewriteValueData, TextKeepsItsNulAndWhatFollows) {
    std::string out;
    ASSERT_TRUE(Rewrite(REG_SZ, std::string("C:\\Old\\a\0", 9), out));
    EXPECT_EQ(out, std::string("D:\\New Place\\a\0", 15));
    // Stored without a NUL: none is added, nothing read beyond the bytes.
    ASSERT_TRUE(Rewrite(REG_EXPAND_SZ, std::string("C:\\Old"), out));
    EXPECT_EQ(out, "D:\\New Place");
    // Bytes after the first NUL are not text of this value: kept unchanged.
    ASSERT_TRUE(Rewrite(REG_SZ, std::string("C:\\Old\0C:\\Old\0", 14), out));
    EXPECT_EQ(out, std::string("D:\\New Place\0C:\\Old\0", 20));
}

TEST(RewriteValueData, MultiStringElementByElement) {
    std::string in("C:\\Old\\a\0keep me\0Kestrin.exe\0\0", 31);
    std::string out;
    ASSERT_TRUE(Rewrite(REG_MULTI_SZ, in, out));
    EXPECT_EQ(out, std::string("D:\\New Place\\a\0keep me\0Dovetra.exe\0\0", 37));
    // Empty elements in the middle survive.
    ASSERT_TRUE(Rewrite(REG_MULTI_SZ, std::string("\0C:\\Old\0\0", 9), out));
    EXPECT_EQ(out, std::string("\0D:\\New Place\0\0", 15));
    EXPECT_FALSE(Rewrite(REG_MULTI_SZ, std::string("a\0b\0\0", 5), out));
}

TEST(RewriteValueData, OtherTypesNeverTouched) {
    std::string path("C:\\Old\\a\0", 9);
    DWORD types[] = {REG_BINARY, REG_DWORD, REG_NONE, REG_QWORD, REG_LINK, 0x12345};
    for (DWORD type : types) {
        std::string out = "x";
        EXPECT_FALSE(Rewrite(type, path, out)) << type;
    }
}

TEST(RewriteValueData, UnchangedTextIsNotAChange) {
    std::string out;
    EXPECT_FALSE(Rewrite(REG_SZ, std::string("D:\\New Place\\Dovetra.exe\0", 26), out));
    EXPECT_FALSE(Rewrite(REG_SZ, std::string(), out));
    EXPECT_FALSE(Rewrite(REG_SZ, std::string("\0", 1), out));
}

}  // namespace
