// The single replacement and the path-aware rewrite, without the registry.
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "migrate/registry_text.h"

namespace {

std::string First(const char* text, const char* oldText, const char* newText, char exact,
                  int* rc) {
    char* out = reinterpret_cast<char*>(1);  // must be cleared on entry
    *rc = ReplaceFirstText(text, oldText, newText, exact, &out);
    if (!out) return "<null>";
    std::string s(out);
    std::free(out);
    return s;
}

TEST(ReplaceFirstText, Table) {
    struct Row { const char* text; const char* oldText; const char* newText; char exact; int rc;
                 const char* out; } rows[] = {
        {"C:\\Old\\a.dll", "C:\\Old", "D:\\New", 0, 1, "D:\\New\\a.dll"},
        {"c:\\OLD\\a.dll", "C:\\Old", "D:\\New", 0, 1, "D:\\New\\a.dll"},
        {"c:\\OLD\\a.dll", "C:\\Old", "D:\\New", 1, 0, "<null>"},
        {"x C:\\Old", "C:\\Old", "D:\\Longer\\New", 0, 1, "x D:\\Longer\\New"},  // at the end
        {"C:\\Old C:\\Old", "c:\\old", "X", 0, 1, "X C:\\Old"},                 // first only
        {"C:\\Older\\y", "C:\\Old", "N", 0, 1, "Ner\\y"},                       // raw substring
        {"abc", "abc", "", 0, 1, ""},                                            // shrinks to empty
        {"abc", "abcd", "x", 0, 0, "<null>"},
        {"", "a", "b", 0, 0, "<null>"},
        {"abc", "", "x", 0, 0, "<null>"},                                        // empty old text
        {"abc", "", "x", 1, 0, "<null>"},
        {"aXbxc", "x", "YY", 1, 1, "aXbYYc"},
        {"KESTRIN.EXE /dde", "Kestrin.exe", "Dovetra.exe", 0, 1, "Dovetra.exe /dde"},
    };
    for (const Row& r : rows) {
        int rc = -1;
        std::string out = First(r.text, r.oldText, r.newText, r.exact, &rc);
        EXPECT_EQ(rc, r.rc) << r.text << " / " << r.oldText;
        EXPECT_EQ(out, r.out) << r.text << " / " << r.oldText;
        if (rc == 1) {
            EXPECT_EQ(out.size(), std::strlen(r.text) - std::strlen(r.oldText) + std::strlen(r.newText));
        }
    }
}

std::string Apply(const RewriteTable& t, const std::string& in, bool* changed = nullptr) {
    std::string out;
    bool c = t.Apply(in.data(), in.size(), out);
    if (changed) *changed = c;
    if (!c) {
        EXPECT_TRUE(out.empty()) << in;
    }
    return c ? out : in;
}

RewriteTable Migration(const char* install, const char* shared, const char* final) {
    RewriteTable t;
    t.Add(install, final, MatchKind::Folder);
    t.Add(shared, final, MatchKind::Folder);
    t.Add("Kestrin.exe", "Dovetra.exe", MatchKind::FileName);
    t.AddIdentity(final, MatchKind::Folder);
    t.AddIdentity("Dovetra.exe", MatchKind::FileName);
    return t;
}

const char* kFinal = "C:\\Program Files\\Halvern\\Dovetra 5";

TEST(RewriteTable, BoundaryTable) {
    RewriteTable t = Migration("C:\\Apps\\Kestrin", "C:\\Vantor\\Shared", kFinal);
    struct Row { const char* in; const char* out; } rows[] = {
        {"C:\\Apps\\Kestrin", "C:\\Program Files\\Halvern\\Dovetra 5"},
        {"C:\\Apps\\Kestrin\\x.dll", "C:\\Program Files\\Halvern\\Dovetra 5\\x.dll"},
        {"C:\\Apps\\Kestrin Tools\\x.dll", "C:\\Apps\\Kestrin Tools\\x.dll"},
        {"C:\\Apps\\KestrinX\\x.dll", "C:\\Apps\\KestrinX\\x.dll"},
        {"C:\\Apps\\Kestrin.bak", "C:\\Apps\\Kestrin.bak"},
        {"\"C:\\Apps\\Kestrin\\Kestrin.exe\" \"%1\"",
         "\"C:\\Program Files\\Halvern\\Dovetra 5\\Dovetra.exe\" \"%1\""},
        {"C:\\Apps\\Kestrin\\Kestrin.exe /dde", "C:\\Program Files\\Halvern\\Dovetra 5\\Dovetra.exe /dde"},
        {"c:\\apps\\KESTRIN\\a;C:\\APPS\\kestrin\\b",
         "C:\\Program Files\\Halvern\\Dovetra 5\\a;C:\\Program Files\\Halvern\\Dovetra 5\\b"},
        {"C:\\Apps\\Kestrin,C:\\Apps\\Kestrin|C:\\Apps\\Kestrin/x",
         "C:\\Program Files\\Halvern\\Dovetra 5,C:\\Program Files\\Halvern\\Dovetra 5|"
         "C:\\Program Files\\Halvern\\Dovetra 5/x"},
        {"XC:\\Apps\\Kestrin", "XC:\\Apps\\Kestrin"},
        {"@C:\\Apps\\Kestrin\\res.dll,-101", "@C:\\Program Files\\Halvern\\Dovetra 5\\res.dll,-101"},
        {"MyKestrin.exe", "MyKestrin.exe"},
        {"Kestrin.exe.manifest", "Kestrin.exe.manifest"},
        {"Kestrin.exe", "Dovetra.exe"},
        {"run kestrin.EXE", "run Dovetra.exe"},
        {"C:\\Vantor\\Shared\\WMF.F32", "C:\\Program Files\\Halvern\\Dovetra 5\\WMF.F32"},
        {"C:\\Vantor\\SharedOld", "C:\\Vantor\\SharedOld"},
        {"", ""},
        {"nothing here", "nothing here"},
    };
    for (const Row& r : rows) EXPECT_EQ(Apply(t, r.in), r.out) << r.in;
}

TEST(RewriteTable, ChangedFlagOnlyWhenBytesDiffer) {
    RewriteTable t = Migration("C:\\Apps\\Kestrin", "C:\\Vantor", kFinal);
    bool changed = true;
    EXPECT_EQ(Apply(t, "C:\\Other\\x", &changed), "C:\\Other\\x");
    EXPECT_FALSE(changed);
    Apply(t, "C:\\Apps\\Kestrin\\x", &changed);
    EXPECT_TRUE(changed);
    Apply(t, "c:\\program files\\halvern\\dovetra 5\\dovetra.exe", &changed);
    EXPECT_FALSE(changed);  // already the new place, in any case: kept as written
}

TEST(RewriteTable, NotMovedMeansNoChangeForInstallFolder) {
    RewriteTable t = Migration("C:\\Apps\\Kestrin", "C:\\Vantor", "C:\\Apps\\Kestrin");
    bool changed = true;
    EXPECT_EQ(Apply(t, "c:\\APPS\\kestrin\\a.dll", &changed), "c:\\APPS\\kestrin\\a.dll");
    EXPECT_FALSE(changed);
    EXPECT_EQ(Apply(t, "C:\\Vantor\\a.dll;C:\\Apps\\Kestrin\\Kestrin.exe", &changed),
              "C:\\Apps\\Kestrin\\a.dll;C:\\Apps\\Kestrin\\Dovetra.exe");
    EXPECT_TRUE(changed);
}

// Every input must give the same text after one rewrite as after two.
void ExpectIdempotent(const RewriteTable& t, const std::string& in) {
    std::string once = Apply(t, in);
    bool changed = true;
    std::string twice = Apply(t, once, &changed);
    EXPECT_EQ(twice, once) << in;
    EXPECT_FALSE(changed) << in;
}

TEST(RewriteTable, NestedFoldersLongestWinsAndIdempotent) {
    // Shared folder inside the install folder, and the reverse.
    RewriteTable inside = Migration("C:\\Apps\\Kestrin", "C:\\Apps\\Kestrin\\Shared", kFinal);
    EXPECT_EQ(Apply(inside, "C:\\Apps\\Kestrin\\Shared\\WMF.F32"), std::string(kFinal) + "\\WMF.F32");
    EXPECT_EQ(Apply(inside, "C:\\Apps\\Kestrin\\SharedX"), std::string(kFinal) + "\\SharedX");
    RewriteTable outside = Migration("C:\\Vantor\\Kestrin", "C:\\Vantor", kFinal);
    EXPECT_EQ(Apply(outside, "C:\\Vantor\\Kestrin\\k.ini"), std::string(kFinal) + "\\k.ini");
    EXPECT_EQ(Apply(outside, "C:\\Vantor\\w.f32"), std::string(kFinal) + "\\w.f32");
    // Final folder inside an old one, not moved, shared inside install.
    RewriteTable notMoved = Migration("C:\\Apps\\Kestrin", "C:\\Apps\\Kestrin\\Shared",
                                      "C:\\Apps\\Kestrin");
    const char* inputs[] = {
        "C:\\Apps\\Kestrin\\Shared\\WMF.F32", "C:\\Apps\\Kestrin\\Kestrin.exe",
        "C:\\Vantor\\Kestrin\\Kestrin.exe;C:\\Vantor\\x", "C:\\Apps\\Kestrin Tools\\Kestrin.exe",
        "C:\\Apps\\Kestrin\\Kestrin.exe C:\\Apps\\Kestrin\\Shared",
    };
    for (const char* in : inputs) {
        ExpectIdempotent(inside, in);
        ExpectIdempotent(outside, in);
        ExpectIdempotent(notMoved, in);
    }
}

TEST(RewriteTable, FinalFolderUnderSharedFolderIsNotRewrittenAgain) {
    // The new folder lies below the old shared folder: text written for the
    // new folder must not be taken for the shared folder on a second visit.
    RewriteTable t = Migration("C:\\Apps\\Kestrin", "C:\\Program Files\\Halvern", kFinal);
    EXPECT_EQ(Apply(t, "C:\\Program Files\\Halvern\\w.f32"), std::string(kFinal) + "\\w.f32");
    ExpectIdempotent(t, "C:\\Program Files\\Halvern\\w.f32");
    ExpectIdempotent(t, "C:\\Apps\\Kestrin\\a;C:\\Program Files\\Halvern\\b");
}

TEST(RewriteTable, EmptyOldTextIsIgnored) {
    RewriteTable t;
    t.Add("", "X", MatchKind::Folder);
    EXPECT_TRUE(t.Empty());
    EXPECT_EQ(Apply(t, "abc"), "abc");
}

TEST(StandsWhole, RefusesOutOfRange) {
    EXPECT_FALSE(StandsWhole("abc", 3, 2, 2, MatchKind::Folder));
    EXPECT_FALSE(StandsWhole("abc", 3, 4, 0, MatchKind::Folder));
    EXPECT_TRUE(StandsWhole("abc", 3, 0, 3, MatchKind::Folder));
}

}  // namespace
