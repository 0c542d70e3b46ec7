// Rewriting one value's UTF-16 data by its type, without the registry.
#include <gtest/gtest.h>
#include <string>
#include "migrate/registry_value.h"
#include "reg_snapshot.h"

using namespace migrate;

namespace {

TEST(RewriteValueData, ByType) {
    RewriteTable t;
    t.Add("C:\\Old", u8"D:\\Новое", MatchKind::Folder);
    t.Add("Kestrin.exe", "Dovetra.exe", MatchKind::FileName);
    t.AddIdentity(u8"D:\\Новое", MatchKind::Folder);
    const std::string nul("\0\0", 2), none;
    // clang-format off
    struct Row { DWORD type; std::string in, out; } rows[] = {
        // text keeps its NUL, and what follows it; none is added
        {REG_SZ, Utf16("C:\\Old\\a"), Utf16(u8"D:\\Новое\\a")},
        {REG_EXPAND_SZ, Utf16("C:\\Old", false), Utf16(u8"D:\\Новое", false)},
        {REG_SZ, Utf16("C:\\Old") + Utf16("C:\\Old"), Utf16(u8"D:\\Новое") + Utf16("C:\\Old")},
        {REG_SZ, Utf16(u8"C:\\Old\\Ω", false) + "\x41", Utf16(u8"D:\\Новое\\Ω", false) + "\x41"},  // odd byte
        // every element of a multi-string, empty ones included
        {REG_MULTI_SZ, Utf16("C:\\Old\\a") + Utf16(u8"keep Ж") + Utf16("Kestrin.exe") + nul,
         Utf16(u8"D:\\Новое\\a") + Utf16(u8"keep Ж") + Utf16("Dovetra.exe") + nul},
        {REG_MULTI_SZ, nul + Utf16("C:\\Old") + nul, nul + Utf16(u8"D:\\Новое") + nul},
        {REG_MULTI_SZ, Utf16("a") + Utf16("b") + nul, none},
        // other types never, text already at the new place, nothing
        {REG_BINARY, Utf16("C:\\Old\\a"), none}, {REG_DWORD, Utf16("C:\\Old\\a"), none},
        {REG_NONE, Utf16("C:\\Old\\a"), none}, {REG_LINK, Utf16("C:\\Old\\a"), none},
        {REG_SZ, Utf16(u8"d:\\НОВОЕ\\Dovetra.exe"), none}, {REG_SZ, "", none}, {REG_SZ, nul, none},
        {REG_SZ, "C:\\Old", none},  // narrow bytes are no UTF-16 path
    };
    // clang-format on
    for (const Row& r : rows) {
        std::string out = "x";
        bool changed = RewriteValueData(t, r.type, reinterpret_cast<const BYTE*>(r.in.data()), r.in.size(), out);
        EXPECT_EQ(changed, !r.out.empty()) << r.type << " " << r.in;
        EXPECT_EQ(out, r.out) << r.type;
    }
}

}  // namespace
