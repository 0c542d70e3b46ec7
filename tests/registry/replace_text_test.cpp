// The path-aware UTF-16 rewrite, without the registry.
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <string>
#include "migrate/registry_text.h"
#include "platform/utf.h"

using namespace migrate;

namespace {

std::wstring W(const std::string& s) {
    std::wstring w;
    platform::ToWide(s.c_str(), w);
    return w;
}

// The text after one pass of `t`, or the input when nothing changed.
std::string Apply(const RewriteTable& t, const std::string& in, bool* changed = nullptr) {
    std::wstring text = W(in), out;
    bool c = t.Apply(text.data(), text.size(), out);
    if (changed) *changed = c;
    EXPECT_TRUE(c || out.empty()) << in;
    std::string s;
    platform::ToUtf8(c ? out : text, s);
    return s;
}

const char* kFinal = "C:\\Program Files\\Halvern\\Dovetra 5";

// The migration's table with the 8.3 forms and variables a system gives.
RewriteTable Migration(const char* install, const char* shared, const char* final, const char* installShort = "",
                       const char* finalShort = "") {
    std::vector<FolderVariable> vars = {{L"ProgramFiles", L"C:\\Program Files\\"}, {L"SystemDrive", L"C:"}};
    RewriteTable t;
    AddFolderMove(t, {W(install), W(final), W(installShort), W(finalShort)}, vars);
    AddFolderMove(t, {W(shared), W(final), L"", W(finalShort)}, vars);
    t.Add("Kestrin.exe", "Dovetra.exe", MatchKind::FileName);
    t.AddIdentity("Dovetra.exe", MatchKind::FileName);
    return t;
}

// Every input must give the same text after one rewrite as after two.
void ExpectIdempotent(const RewriteTable& t, const std::string& in) {
    std::string once = Apply(t, in);
    bool changed = true;
    EXPECT_EQ(Apply(t, once, &changed), once) << in;
    EXPECT_FALSE(changed) << in;
}

// One table of spellings and terminators, in -> out.
TEST(RewriteTable, SpellingsAndTerminators) {
    RewriteTable t = Migration(u8"C:\\Program Files\\Kestrin", u8"C:\\Vantor\\Общие", kFinal, "C:\\PROGRA~1\\Kestrin",
                               "C:\\PROGRA~1\\Halvern\\DOVETR~1");
    const std::string N = kFinal;
    // clang-format off
    struct Row { const char* in; std::string out; } rows[] = {
        // whole paths only, any case; the text after them kept
        {"C:\\Program Files\\Kestrin", N},
        {"c:\\program files\\KESTRIN\\x.dll;C:\\Program Files\\Kestrin\\y", N + "\\x.dll;" + N + "\\y"},
        {"C:\\Program Files\\Kestrin Tools\\x.dll", "C:\\Program Files\\Kestrin Tools\\x.dll"},
        {"C:\\Program Files\\KestrinX", "C:\\Program Files\\KestrinX"},
        {"C:\\Program Files\\Kestrin.bak", "C:\\Program Files\\Kestrin.bak"},
        {"XC:\\Program Files\\Kestrin", "XC:\\Program Files\\Kestrin"},
        {u8"ЖC:\\Program Files\\Kestrin", u8"ЖC:\\Program Files\\Kestrin"},
        {"@C:\\Program Files\\Kestrin\\res.dll,-101", "@" + N + "\\res.dll,-101"},
        {"\"C:\\Program Files\\Kestrin\\Kestrin.exe\" \"%1\"", "\"" + N + "\\Dovetra.exe\" \"%1\""},
        {"MyKestrin.exe Kestrin.exe.manifest", "MyKestrin.exe Kestrin.exe.manifest"},
        {"run kestrin.EXE /dde", "run Dovetra.exe /dde"},
        // text in any script around and inside the folders
        {u8"\"C:\\Program Files\\Kestrin\\Kestrin.exe\" \"C:\\Users\\用户\\Αβγ.ksd\"",
         "\"" + N + u8"\\Dovetra.exe\" \"C:\\Users\\用户\\Αβγ.ksd\""},
        {u8"C:\\Vantor\\Общие\\WMF.F32", N + "\\WMF.F32"},
        {u8"c:\\VANTOR\\ОБЩИЕ\\WMF.F32", N + "\\WMF.F32"},
        {u8"C:\\Vantor\\ОбщиеX", u8"C:\\Vantor\\ОбщиеX"},
        // each terminator
        {"C:\\Program Files\\Kestrin|C:\\Program Files\\Kestrin,", N + "|" + N + ","},
        {"C:\\Program Files\\Kestrin\r\nC:\\Program Files\\Kestrin\n", N + "\r\n" + N + "\n"},
        {"(C:\\Program Files\\Kestrin)", "(" + N + ")"},
        {"'C:\\Program Files\\Kestrin'", "'" + N + "'"},
        {"<C:\\Program Files\\Kestrin>", "<" + N + ">"},
        {"C:\\Program Files\\Kestrin*", N + "*"},
        {"C:\\Program Files\\Kestrin:Zone.Identifier", N + ":Zone.Identifier"},
        // each spelling, written back in the same spelling
        {"C:/Program Files/Kestrin/a.dll", "C:/Program Files/Halvern/Dovetra 5/a.dll"},
        {"C:/Vantor/Общие\\w", "C:/Program Files/Halvern/Dovetra 5\\w"},
        {"C:\\PROGRA~1\\Kestrin\\Kestrin.exe %1", "C:\\PROGRA~1\\Halvern\\DOVETR~1\\Dovetra.exe %1"},
        {"C:\\PROGRA~1\\Kestrin /x", "C:\\PROGRA~1\\Halvern\\DOVETR~1 /x"},
        {"%ProgramFiles%\\Kestrin\\x", "%ProgramFiles%\\Halvern\\Dovetra 5\\x"},
        {"%systemdrive%\\Program Files\\KESTRIN", "%SystemDrive%\\Program Files\\Halvern\\Dovetra 5"},
        {u8"%SystemDrive%\\Vantor\\Общие", "%SystemDrive%\\Program Files\\Halvern\\Dovetra 5"},
        {"file:///C:/Program%20Files/Kestrin/help.htm", "file:///C:/Program%20Files/Halvern/Dovetra%205/help.htm"},
        {"file:///C:/Program%20Files/Kestrin index", "file:///C:/Program%20Files/Halvern/Dovetra%205 index"},
        {"file:///C:/Program Files/Kestrin", "file:///C:/Program Files/Halvern/Dovetra 5"},
        {"", ""},
    };
    // clang-format on
    for (const Row& r : rows) {
        EXPECT_EQ(Apply(t, r.in), r.out) << r.in;
        ExpectIdempotent(t, r.in);
    }
    // No 8.3 form of the new folder: the full form takes its place.
    RewriteTable noShort = Migration("C:\\Program Files\\Kestrin", "C:\\Vantor", kFinal, "C:\\PROGRA~1\\Kestrin");
    EXPECT_EQ(Apply(noShort, "C:\\PROGRA~1\\Kestrin\\k.ini"), N + "\\k.ini");
}

TEST(RewriteTable, NotMovedChangesNothingForTheInstallFolder) {
    RewriteTable t = Migration("C:\\Apps\\Kestrin", "C:\\Vantor", "C:\\Apps\\Kestrin");
    bool changed = true;
    EXPECT_EQ(Apply(t, "c:\\APPS\\kestrin\\a.dll C:/Apps/Kestrin", &changed),
              "c:\\APPS\\kestrin\\a.dll C:/Apps/Kestrin");
    EXPECT_FALSE(changed);
    EXPECT_EQ(Apply(t, "C:\\Vantor\\a.dll;C:\\Apps\\Kestrin\\Kestrin.exe", &changed),
              "C:\\Apps\\Kestrin\\a.dll;C:\\Apps\\Kestrin\\Dovetra.exe");
    EXPECT_TRUE(changed);
    EXPECT_EQ(Apply(t, "c:\\program files\\halvern\\dovetra 5\\dovetra.exe", &changed),
              "c:\\program files\\halvern\\dovetra 5\\dovetra.exe");
    EXPECT_FALSE(changed);  // already the new place, in any case: kept as written
}

TEST(RewriteTable, NestedFoldersLongestWinsAndIdempotent) {
    RewriteTable inside = Migration("C:\\Apps\\Kestrin", "C:\\Apps\\Kestrin\\Shared", kFinal);
    EXPECT_EQ(Apply(inside, "C:\\Apps\\Kestrin\\Shared\\WMF.F32"), std::string(kFinal) + "\\WMF.F32");
    EXPECT_EQ(Apply(inside, "C:\\Apps\\Kestrin\\SharedX"), std::string(kFinal) + "\\SharedX");
    RewriteTable outside = Migration("C:\\Vantor\\Kestrin", "C:\\Vantor", kFinal);
    EXPECT_EQ(Apply(outside, "C:\\Vantor\\Kestrin\\k.ini"), std::string(kFinal) + "\\k.ini");
    // The new folder below the old shared folder, and not moved at all.
    RewriteTable below = Migration("C:\\Apps\\Kestrin", "C:\\Program Files\\Halvern", kFinal);
    EXPECT_EQ(Apply(below, "C:\\Program Files\\Halvern\\w.f32"), std::string(kFinal) + "\\w.f32");
    RewriteTable notMoved = Migration("C:\\Apps\\Kestrin", "C:\\Apps\\Kestrin\\Shared", "C:\\Apps\\Kestrin");
    for (const char* in : {"C:\\Apps\\Kestrin\\Shared\\WMF.F32", "C:\\Vantor\\Kestrin\\Kestrin.exe;C:\\Vantor\\x",
                           "C:\\Apps\\Kestrin\\Kestrin.exe C:\\Apps\\Kestrin\\Shared",
                           "C:\\Apps\\Kestrin\\a;C:\\Program Files\\Halvern\\b"})
        for (const RewriteTable* t : {&inside, &outside, &below, &notMoved}) ExpectIdempotent(*t, in);
}

TEST(RewriteTable, EmptyOrInvalidOldTextIsIgnored) {
    RewriteTable t;
    t.Add("", "X", MatchKind::Folder);
    t.Add("\xff", "X", MatchKind::Folder);
    EXPECT_TRUE(t.Empty());
}

}  // namespace
