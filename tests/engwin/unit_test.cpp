// Parts of the engine on their own: the journal's encoding and its reading
// of torn or damaged files, paths and text, and 64-bit offsets on a file
// larger than 4 GiB.
#include <gtest/gtest.h>

#include <string>

#include "journal.h"
#include "source.h"
#include "support.h"
#include "text.h"
#include "winfile.h"

namespace {

std::vector<eng::Step> SampleSteps() {
    return {{eng::Op::makeFolder, 0, 0, L"~patch.bak"},
            {eng::Op::stage, 1, FILE_ATTRIBUTE_READONLY, L"bin\\\x00e9t\x00e9.dll"},
            {eng::Op::replace, 1, FILE_ATTRIBUTE_READONLY, L"bin\\\x00e9t\x00e9.dll"},
            {eng::Op::removeFolder, 4, 0, L"old folder"}};
}

void AddRecord(std::vector<uint8_t>* b, const char* tag, uint32_t index) {
    b->insert(b->end(), tag, tag + 4);
    for (int i = 0; i < 4; i++) b->push_back(uint8_t(index >> (8 * i)));
}

// The writer's journal, records batched as a run writes them, reads back
// whole; and a kill can cut it anywhere: a cut inside the step list means no
// step had begun, a cut inside a record that its step had not begun.
TEST(Journal, WrittenJournalAndEveryCutOfItReadSafely) {
    std::wstring path = t::Scratch("journal") + L"\\patch.jnl";
    const std::vector<eng::Step> steps = SampleSteps();
    {
        eng::JournalWriter w;
        ASSERT_TRUE(w.Create(path, steps) && w.MarkBegun(0, 1) && w.MarkBegun(1, 3) && w.MarkCommitted());
        w.Close();
    }
    std::string bytes = t::GetFile(path);
    const std::vector<uint8_t> full(bytes.begin(), bytes.end());
    eng::JournalState st = eng::ParseJournal(full);
    ASSERT_EQ(st.steps.size(), 4u);
    for (size_t i = 0; i < 4; i++) {
        EXPECT_EQ(st.steps[i].op, steps[i].op);
        EXPECT_EQ(st.steps[i].path, steps[i].path);
        EXPECT_EQ(st.steps[i].attributes, steps[i].attributes);
        EXPECT_EQ(st.steps[i].entry, steps[i].entry);
    }
    const size_t listSize = eng::EncodeSteps(steps).size();
    ASSERT_EQ(full.size(), listSize + 5 * 8);
    for (size_t n = 0; n <= full.size(); n++) {
        st = eng::ParseJournal(std::vector<uint8_t>(full.begin(), full.begin() + n));
        int64_t records = int64_t((n - listSize) / 8);
        EXPECT_EQ(st.kind, n < listSize   ? eng::JournalState::torn
                           : records == 5 ? eng::JournalState::committed
                                          : eng::JournalState::open)
            << n;
        if (n >= listSize) {
            EXPECT_EQ(st.lastBegun, std::min<int64_t>(records, 4) - 1) << n;
        }
    }
}

// Which "begun" records may share a flush with an earlier one: every step of
// the preparation, and commit steps whose undo, never run, changes nothing;
// not a folder or file made where the run removes something first.
TEST(Journal, RecordsAheadOnlyWhereAnUndoOfNothingIsHarmless) {
    using eng::Op;
    std::vector<eng::Step> steps = {
        {Op::makeFolder, 0, 0, L"~patch.bak"}, {Op::makeFolder, 1, 0, L"new"},    {Op::stage, 2, 0, L"new\\a"},
        {Op::stage, 3, 0, L"bin\\x"},          {Op::removeFile, 4, 0, L"old"},    {Op::moveIn, 2, 0, L"new\\a"},
        {Op::replace, 3, 0, L"bin\\x"},        {Op::removeFolder, 5, 0, L"gone"}, {Op::makeFolder, 6, 0, L"old"},
        {Op::stage, 7, 0, L"old\\in"},         {Op::moveIn, 7, 0, L"old\\in"},    {Op::stage, 8, 0, L"gone"},
        {Op::moveIn, 8, 0, L"gone"},           {Op::removeFile, 9, 0, L"last"}};
    std::vector<bool> want = {true, true, true, true, true, true, true, true, false, false, false, false, false, true};
    EXPECT_EQ(eng::MayRecordAhead(steps), want);
    EXPECT_TRUE(eng::MayRecordAhead({}).empty());
}

TEST(Journal, DamagedRecordsAreRefused) {
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, uint32_t>> records;
    } cases[] = {
        {"skipped step", {{"BEGN", 0}, {"BEGN", 2}}},
        {"unknown tag", {{"BEGN", 0}, {"XXXX", 1}}},
        {"commit too early", {{"BEGN", 0}, {"COMT", 0}}},
        {"step beyond the list", {{"BEGN", 0}, {"BEGN", 1}, {"BEGN", 2}, {"BEGN", 3}, {"BEGN", 4}}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = eng::EncodeSteps(SampleSteps());
        for (const auto& r : c.records) AddRecord(&bytes, r.first, r.second);
        EXPECT_EQ(eng::ParseJournal(bytes).kind, eng::JournalState::damaged) << c.name;
    }
    std::vector<uint8_t> bytes = eng::EncodeSteps(SampleSteps());
    bytes[0] ^= 1;
    EXPECT_EQ(eng::ParseJournal(bytes).kind, eng::JournalState::damaged) << "magic";
    bytes = eng::EncodeSteps(SampleSteps());
    bytes[20] ^= 1;  // inside the list: the checksum no longer matches
    EXPECT_EQ(eng::ParseJournal(bytes).kind, eng::JournalState::torn) << "list byte";
}

// Work names stay within one name's limit, counted in UTF-16 units and in
// UTF-8 bytes; a longer one is "~dvN.~dvnew", N the entry.
TEST(Tree, WorkNamesFitTheLimit) {
    auto name = [](const wchar_t* unit, size_t n) { return std::wstring(n, unit[0]); };
    struct Case {
        std::wstring path, want;
    } cases[] = {
        {L"a.txt", L"a.txt.~dvnew"},
        {name(L"x", 248), name(L"x", 248) + L".~dvnew"},
        {name(L"x", 249), L"~dv7.~dvnew"},
        {L"d\\" + name(L"x", 255), L"d\\~dv7.~dvnew"},
        {name(L"x", 300) + L"\\" + name(L"\x3b1", 124), name(L"x", 300) + L"\\" + name(L"\x3b1", 124) + L".~dvnew"},
        {name(L"\x3b1", 125), L"~dv7.~dvnew"},
        {name(L"\x6f22", 82), name(L"\x6f22", 82) + L".~dvnew"},
        {name(L"\x6f22", 83), L"~dv7.~dvnew"},
    };
    eng::Tree tree(L"\\\\?\\C:\\root");
    for (const Case& c : cases) EXPECT_EQ(tree.WorkName({eng::Op::stage, 7, 0, c.path}), c.want) << c.path.size();
}

TEST(Text, PathsAndConversions) {
    EXPECT_EQ(eng::ToLongPath(L"C:\\dir\\"), L"\\\\?\\C:\\dir");
    EXPECT_EQ(eng::ToLongPath(L"C:\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(eng::ToLongPath(L"\\\\server\\share\\x"), L"\\\\?\\UNC\\server\\share\\x");
    EXPECT_EQ(eng::JoinPath(L"\\\\?\\C:\\", L"a"), L"\\\\?\\C:\\a");
    EXPECT_EQ(eng::JoinPath(L"\\\\?\\C:\\d", L"a"), L"\\\\?\\C:\\d\\a");
    std::wstring w;
    EXPECT_TRUE(eng::Utf8ToWide("\xC3\xA9t\xC3\xA9", &w));
    EXPECT_EQ(w, L"\x00e9t\x00e9");
    EXPECT_FALSE(eng::Utf8ToWide("\xC3", &w));
    EXPECT_FALSE(eng::Utf8ToWide("\xC0\xAF", &w));  // overlong "/"
    EXPECT_EQ(eng::WideToUtf8(L"\x00e9"), "\xC3\xA9");
    EXPECT_TRUE(eng::IsBareName(L"UpdV1-V2.RTP"));
    EXPECT_FALSE(eng::IsBareName(L"..\\x.rtp"));
    EXPECT_FALSE(eng::IsBareName(L"c:x.rtp"));
}

// The file is sparse where the file system allows, so it costs little disk;
// reads past 4 GiB go through SetFilePointerEx with 64-bit offsets.
TEST(LargeFile, ReadsBeyondFourGiB) {
    std::wstring dir = t::Scratch("large");
    std::wstring path = dir + L"\\big";
    const uint64_t kFar = (5ull << 30) + 12345;
    {
        eng::Handle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(h.Valid());
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(kFar);
        ASSERT_TRUE(::SetFilePointerEx(h.Get(), at, nullptr, FILE_BEGIN));
        DWORD put;
        ASSERT_TRUE(::WriteFile(h.Get(), "tail", 4, &put, nullptr));
    }
    eng::File f;
    ASSERT_TRUE(f.OpenRead(path));
    uint64_t size = 0;
    ASSERT_TRUE(f.Size(&size));
    EXPECT_EQ(size, kFar + 4);
    char buf[4];
    ASSERT_TRUE(f.ReadAt(kFar, buf, 4));
    EXPECT_EQ(std::string(buf, 4), "tail");
    EXPECT_FALSE(f.ReadAt(kFar + 1, buf, 4));  // short read past the end

    eng::WindowReader old(f, size);
    ASSERT_TRUE(old.ReadAt(kFar + 2, buf, 2));
    EXPECT_EQ(std::string(buf, 2), "il");
    EXPECT_FALSE(old.ReadAt(kFar + 2, buf, 3));
    eng::RangeReader range(f, kFar - 2, 6);
    char six[6];
    ASSERT_TRUE(range.Read(six, 6));
    EXPECT_EQ(std::string(six, 6), std::string("\0\0tail", 6));
    EXPECT_FALSE(range.Read(six, 1));
    f.Close();
    ::DeleteFileW(path.c_str());
}

}  // namespace
