// x86-aware deltas: the PE32 parser on hostile images, the builder's choice
// and round trip on a program whose code moved, and damaged method-2 data.
// Built with the sanitizers, and the streams fail the test on any read
// outside what they hold.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

#include "applier.h"
#include "builder.h"
#include "patchfile.h"
#include "streams.h"
#include "trees.h"
#include "x86.h"

using namespace enginetest;

namespace {

void Put32(Bytes* b, size_t at, uint32_t v) {
    if (b->size() < at + 4) b->resize(at + 4);
    for (int i = 0; i < 4; i++) (*b)[at + i] = uint8_t(v >> (8 * i));
}
void Put16(Bytes* b, size_t at, uint32_t v) { (*b)[at] = uint8_t(v), (*b)[at + 1] = uint8_t(v >> 8); }

constexpr uint32_t kBase = 0x400000, kCodeRva = 0x1000, kCodeRaw = 0x400, kTable = 0x58 + 224;

// A PE32 image: headers, .text (code) at raw 0x400, .reloc after it with
// one block of HIGHLOW entries per 4 KiB page of `relocs` (code RVAs).
Bytes Image(const Bytes& code, const std::vector<uint32_t>& relocs) {
    Bytes f(kCodeRaw, 0);
    f[0] = 'M', f[1] = 'Z';
    Put32(&f, 0x3C, 0x40);
    memcpy(&f[0x40], "PE\0\0", 4);
    Put16(&f, 0x44, 0x14C);
    Put16(&f, 0x46, 2);
    Put16(&f, 0x54, 224);
    Put16(&f, 0x58, 0x10B);
    Put32(&f, 0x58 + 28, kBase);
    Put32(&f, 0x58 + 92, 16);
    f.insert(f.end(), code.begin(), code.end());
    f.resize((f.size() + 511) / 512 * 512);
    uint32_t relocRaw = uint32_t(f.size()), relocRva = kCodeRva + ((uint32_t(code.size()) + 0xFFF) & ~0xFFFu);
    for (size_t i = 0; i < relocs.size();) {
        uint32_t page = relocs[i] & ~0xFFFu;
        size_t block = f.size(), n = 0;
        f.resize(block + 8);
        for (; i < relocs.size() && (relocs[i] & ~0xFFFu) == page; i++, n++) {
            f.resize(f.size() + 2);
            Put16(&f, f.size() - 2, 0x3000 | (relocs[i] & 0xFFF));
        }
        if (n % 2) f.resize(f.size() + 2);  // a padding entry keeps blocks 4-aligned
        Put32(&f, block, page);
        Put32(&f, block + 4, uint32_t(f.size() - block));
    }
    uint32_t relocSize = uint32_t(f.size()) - relocRaw;
    f.resize((f.size() + 511) / 512 * 512);
    Put32(&f, 0x58 + 96 + 40, relocSize ? relocRva : 0);
    Put32(&f, 0x58 + 96 + 44, relocSize);
    // Section table: .text, .reloc (virtual size, RVA, raw size, raw pointer, flags).
    const uint32_t rows[2][5] = {{uint32_t(code.size()), kCodeRva, relocRaw - kCodeRaw, kCodeRaw, 0x60000020},
                                 {relocSize, relocRva, uint32_t(f.size()) - relocRaw, relocRaw, 0x42000040}};
    for (int s = 0; s < 2; s++) {
        memcpy(&f[kTable + 40 * s], s == 0 ? ".text" : ".reloc", 6);
        for (int k = 0; k < 5; k++) Put32(&f, kTable + 40 * s + 8 + 4 * (k < 4 ? k : 7), rows[s][k]);
    }
    return f;
}

// A program of `count` functions: filler bytes, calls (E8 rel32) to other
// functions and pointers to them (B8 abs32, relocated). `grow` adds bytes to
// some functions, so that everything after them moves.
Bytes Program(int count, bool grow, std::vector<uint32_t>* relocs) {
    std::mt19937 rng(7);
    std::vector<Bytes> bodies(count);
    std::vector<std::vector<std::pair<size_t, int>>> refs(count);  // (position in body, callee); callee < 0: pointer
    for (int i = 0; i < count; i++) {
        size_t len = 40 + rng() % 160;
        while (bodies[i].size() < len) {
            uint32_t r = rng() % 10;
            if (r < 2) {
                refs[i].push_back({bodies[i].size() + 1, r == 0 ? int(rng() % count) : -1 - int(rng() % count)});
                bodies[i].push_back(r == 0 ? 0xE8 : 0xB8);
                bodies[i].resize(bodies[i].size() + 4);
            } else {
                bodies[i].push_back(uint8_t(0x10 + rng() % 0x60));
            }
        }
        if (grow && i % 7 == 3) {
            bodies[i].insert(bodies[i].begin(), 3 + i % 5, 0x90);
            for (auto& ref : refs[i]) ref.first += 3 + i % 5;
        }
    }
    std::vector<uint32_t> at(count);
    Bytes code;
    for (int i = 0; i < count; i++)
        at[i] = uint32_t(code.size()), code.insert(code.end(), bodies[i].begin(), bodies[i].end());
    relocs->clear();
    for (int i = 0; i < count; i++) {
        for (auto [pos, callee] : refs[i]) {
            uint32_t field = at[i] + uint32_t(pos);
            if (callee >= 0) {
                Put32(&code, field, at[callee] - (field + 4));
            } else {
                Put32(&code, field, kBase + kCodeRva + at[-1 - callee]);
                relocs->push_back(kCodeRva + field);
            }
        }
    }
    return code;
}

bool Read(const Bytes& f, core::x86::Image* im) {
    BytesOld reader(f);
    return core::x86::ReadImage(reader, f.size(), im);
}

TEST(X86, ReadImageRefusesHostileHeaders) {
    std::vector<uint32_t> relocs;
    Bytes code = Program(40, false, &relocs);
    const Bytes good = Image(code, relocs);
    core::x86::Image im;
    ASSERT_TRUE(Read(good, &im));
    EXPECT_TRUE(im.codeStart == kCodeRaw && im.relocs.size() == relocs.size() && im.base == kBase);
    const uint32_t relocDir = 0x58 + 96 + 40, text = kTable, reloc = kTable + 40;
    const uint32_t relocRaw = good[reloc + 20] | good[reloc + 21] << 8;
    struct Row {
        const char* what;
        std::function<void(Bytes&)> edit;
    } rows[] = {
        {"truncated DOS header", [](Bytes& f) { f.resize(0x3F); }},
        {"truncated PE header", [](Bytes& f) { f.resize(0x50); }},
        {"truncated section table", [](Bytes& f) { f.resize(kTable + 60); }},
        {"e_lfanew beyond the file", [](Bytes& f) { Put32(&f, 0x3C, 0xFFFFFFF0); }},
        {"not i386", [](Bytes& f) { Put16(&f, 0x44, 0x8664); }},
        {"PE32+", [](Bytes& f) { Put16(&f, 0x58, 0x20B); }},
        {"no sections", [](Bytes& f) { Put16(&f, 0x46, 0); }},
        {"sections past the headers read", [](Bytes& f) { Put16(&f, 0x46, 0xFFFF); }},
        {"optional header past the file", [](Bytes& f) { Put16(&f, 0x54, 0xFFF0); }},
        {"section beyond the file", [=](Bytes& f) { Put32(&f, text + 20, uint32_t(f.size())); }},
        {"section size wraps 32 bits", [=](Bytes& f) { Put32(&f, text + 16, 0xFFFFFF00); }},
        {"overlapping sections", [=](Bytes& f) { Put32(&f, reloc + 20, kCodeRaw + 16); }},
        {"no code section", [=](Bytes& f) { Put32(&f, text + 36, 0x40000040); }},
        {"relocations outside every section", [=](Bytes& f) { Put32(&f, relocDir, 0x7FFF0000); }},
        {"relocation directory past its section", [=](Bytes& f) { Put32(&f, relocDir + 4, 0x7FFFFFFF); }},
        {"relocation block of size 0", [=](Bytes& f) { Put32(&f, relocRaw + 4, 0); }},
        {"relocation block of odd size", [=](Bytes& f) { Put32(&f, relocRaw + 4, 9); }},
        {"relocation block larger than the table", [=](Bytes& f) { Put32(&f, relocRaw + 4, 0xFFFFFFF8); }},
        {"relocation of a 64-bit kind", [=](Bytes& f) { Put16(&f, relocRaw + 8, 0xA000); }},
    };
    for (const Row& r : rows) {
        Bytes f = good;
        r.edit(f);
        EXPECT_FALSE(Read(f, &im)) << r.what;
    }
}

// The builder picks method 2 for a program whose code moved, and only when
// both versions parse; the patch applies either way.
TEST(X86, ProgramRoundTripsAndFallsBack) {
    std::vector<uint32_t> oldRelocs, newRelocs;
    Bytes oldCode = Program(600, false, &oldRelocs), newCode = Program(600, true, &newRelocs);
    Bytes oldFile = Image(oldCode, oldRelocs), newFile = Image(newCode, newRelocs);
    struct Row {
        bool damageOld;
        unsigned x86, deltas;
    } rows[] = {{false, 1, 0}, {true, 0, 1}};
    uint64_t sizes[2] = {};
    for (const Row& r : rows) {
        fs::path base = Scratch(r.damageOld ? "x86-fallback" : "x86");
        Bytes old = oldFile;
        if (r.damageOld) Put32(&old, kTable + 40 + 20, kCodeRaw + 16);  // overlapping sections
        WriteAll(base / "old/app.exe", std::string(old.begin(), old.end()));
        WriteAll(base / "new/app.exe", std::string(newFile.begin(), newFile.end()));
        fs::copy(base / "old", base / "work", fs::copy_options::recursive);
        patchbuild::BuildStats stats;
        std::string error, patch = (base / "p.rtp").string();
        ASSERT_TRUE(patchbuild::BuildPatch((base / "old").string(), (base / "new").string(), patch, {}, &stats, &error))
            << error;
        EXPECT_EQ(stats.x86, r.x86);
        EXPECT_EQ(stats.deltas, r.deltas);
        sizes[r.damageOld] = stats.dataBytes;
        ASSERT_TRUE(patchbuild::ApplyPatch((base / "work").string(), patch, &error)) << error;
        ExpectSameTree(base / "work", base / "new");
    }
    EXPECT_LT(sizes[0] * 10, sizes[1] * 7) << "the rewrite should pay for most moved references";
}

// Every truncation and a flip of every header byte (and the stream's first
// bytes) of method-2 data (one segment: no table): Apply reads nothing outside the old file and the
// data, writes nothing past the new size, and refuses every truncation.
TEST(X86, DamagedDataStaysInBounds) {
    std::vector<uint32_t> oldRelocs, newRelocs;
    Bytes oldFile = Image(Program(40, false, &oldRelocs), oldRelocs);
    Bytes newFile = Image(Program(40, true, &newRelocs), newRelocs);
    fs::path base = Scratch("x86-damaged");
    WriteAll(base / "old/a.exe", std::string(oldFile.begin(), oldFile.end()));
    WriteAll(base / "new/a.exe", std::string(newFile.begin(), newFile.end()));
    patchbuild::BuildStats stats;
    std::string error, patch = (base / "p.rtp").string();
    ASSERT_TRUE(patchbuild::BuildPatch((base / "old").string(), (base / "new").string(), patch, {}, &stats, &error));
    ASSERT_EQ(stats.x86, 1u);
    // One entry: its data run from the end of the table to the end of the file.
    std::string file = ReadAll(patch);
    const Bytes data(file.begin() + long(core::patchfile::kHeaderSize + 100 + 5), file.end());
    auto apply = [&](const Bytes& d, Bytes* out) {
        BytesOld old(oldFile);
        BytesIn in(d.data(), d.size());
        BytesOut sink(newFile.size());
        core::delta::Result r =
            core::x86::Apply(old, oldFile.size(), in, d.size(), sink, newFile.size(), core::delta::Copies::groups4);
        out->swap(sink.b);
        return r;
    };
    Bytes out;
    ASSERT_EQ(apply(data, &out), core::delta::Result::ok);
    ASSERT_EQ(out, newFile);
    for (size_t n = 0; n < data.size(); n++)
        EXPECT_NE(apply(Bytes(data.begin(), data.begin() + n), &out), core::delta::Result::ok) << "cut at " << n;
    uint32_t header = uint32_t(data[0]) | uint32_t(data[1]) << 8 | uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24;
    for (size_t i = 0; i < header + 4 + 64 && i < data.size(); i++) {
        Bytes d = data;
        d[i] ^= 0x55;
        apply(d, &out);
    }
}

}  // namespace
