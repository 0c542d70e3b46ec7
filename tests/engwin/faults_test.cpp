// Runs that must not complete: each leaves the folder byte for byte as it
// was, says why in the log and ends it with "wpt0036".
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "journal.h"
#include "support.h"

namespace {

using K = core::patchfile::Kind;

t::Snapshot OldTree() {
    return {{"app.exe", {false, "application v1"}},
            {"lib", {true}},
            {"lib\\core.dll", {false, std::string(5000, 'c')}},
            {"lib\\gone.dll", {false, "to be removed"}},
            {"readme.txt", {false, "read me"}}};
}

t::Snapshot NewTree() {
    t::Snapshot s = OldTree();
    s["app.exe"].bytes = "application v2, longer";
    s["lib\\core.dll"].bytes = std::string(4000, 'C');
    s.erase("lib\\gone.dll");
    s["lib\\added.dll"].bytes = "added";
    s["extra"].folder = true;
    s["extra\\x.txt"].bytes = "x";
    return s;
}

// A small pair for the byte-by-byte tests: every byte of its patch is tried.
const t::Snapshot kSmallOld = {{"a.txt", {false, "alpha"}}, {"d", {true}}, {"d\\b.txt", {false, "beta"}}};
const t::Snapshot kSmallNew = {{"a.txt", {false, "alpha 2"}}, {"c.txt", {false, "gamma"}}};

int Count(const std::string& hay, const std::string& needle) {
    int n = 0;
    for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) n++;
    return n;
}

// A fresh scratch folder holding tree `from` in "tree" and `patch` as
// "p.rtp"; returns the tree's path.
std::wstring Lay(const std::string& name, const t::Snapshot& from, const std::string& patch) {
    std::wstring base = t::Scratch(name), root = base + L"\\tree";
    ::CreateDirectoryW(root.c_str(), nullptr);
    t::Materialise(root, from);
    t::WriteBytes(base + L"\\p.rtp", patch);
    return root;
}

int Apply(const std::wstring& root) { return t::RunIn(root, {L"-e", L"-v", L"-noc", L"..\\p.rtp"}); }

// The engine's shell: a small program to run as "a program of the
// installation" (started suspended, see t::StartSuspended).
std::string SomeProgram() { return t::GetFile(t::EngineDir() + L"\\patch.exe"); }

// The patch adds a harmless file, then `path`.
std::string Adds(const std::string& path) {
    return t::StoredPatch({{K::addFile, "fine.txt", "", "harmless"}, {K::addFile, path, "", "evil"}});
}

// The folder is not in a state the patch can start from, or the patch is
// one no run may carry out. The whole scratch folder is compared, so that
// a file written beside the tree is found too.
TEST(Faults, RunsThatMustNotComplete) {
    const std::string patch = t::DiffTrees(OldTree(), NewTree());
    t::Snapshot withoutLib = NewTree();
    for (const char* p : {"lib\\core.dll", "lib\\added.dll", "lib"}) withoutLib.erase(p);
    t::Snapshot withWorkName = NewTree();
    withWorkName["APP.exe.~dvnew"] = {false, "a file of the new version"};
    // Data that passes the whole-file check but does not make the recorded new
    // file: the last byte is stored data of the last file added.
    std::string lie = patch;
    lie.back() ^= 0x20;
    lie.replace(16, 32, t::Sha256Of(lie.substr(48)));
    // A segmented delta whose table counts no segment, under a valid
    // whole-file hash.
    std::string tableLie = t::DiffTrees(OldTree(), NewTree(), 3);
    {
        core::patchfile::Header h;
        std::vector<core::patchfile::Entry> entries;
        const auto* bytes = reinterpret_cast<const uint8_t*>(tableLie.data());
        ASSERT_EQ(core::patchfile::ParseHeader(bytes, tableLie.size(), tableLie.size(), &h),
                  core::patchfile::Error::none);
        ASSERT_EQ(core::patchfile::ParseTable(bytes + core::patchfile::kHeaderSize, h.tableSize, h, &entries),
                  core::patchfile::Error::none);
        for (const core::patchfile::Entry& e : entries)
            if (e.path == "lib\\core.dll") tableLie[size_t(e.dataOffset)] = 0;
        tableLie.replace(16, 32, t::Sha256Of(tableLie.substr(48)));
    }
    std::vector<HANDLE> held;
    auto hold = [&](DWORD share) {
        return [&held, share](const std::wstring& r) {
            // Another thread holds the file, as a running program would.
            std::thread([&] {
                held.push_back(::CreateFileW(t::Join(r, "lib\\core.dll").c_str(), GENERIC_READ, share, nullptr,
                                             OPEN_EXISTING, 0, nullptr));
            }).join();
            ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
        };
    };
    // clang-format off
    std::vector<HANDLE> running;
    t::Snapshot withProgram = OldTree();
    withProgram["app.exe"].bytes = SomeProgram();
    struct Case {
        const char* name;
        std::vector<std::string> says;
        std::string patch;
        std::function<void(const std::wstring&)> spoil;
        t::Snapshot tree = OldTree();
    } cases[] = {
            {"unexpected-content", {"wpt0020"}, patch, [](auto& r) { t::PutFile(r, "lib\\core.dll", std::string(5000, 'e')); }},
            {"removed-file-edited", {"wpt0020"}, patch, [](auto& r) { t::PutFile(r, "lib\\gone.dll", "edited"); }},
            {"missing", {"wpt0021"}, patch, [](auto& r) { ::DeleteFileW(t::Join(r, "app.exe").c_str()); }},
            {"folder-for-file", {"wpt0023"}, patch,
              [](auto& r) { ::DeleteFileW(t::Join(r, "app.exe").c_str()), t::PutFolder(r, "app.exe"); }},
            {"file-for-folder", {"wpt0024"}, patch, [](auto& r) { t::PutFile(r, "extra", "a file"); }},
            {"add-target-taken", {"wpt0020"}, patch, [](auto& r) { t::PutFile(r, "lib\\added.dll", "mine"); }},
            {"work-name-taken", {"wpt0026"}, patch, [](auto& r) { t::PutFile(r, "app.exe.~dvnew", "?"); }},
            {"work-name-in-patch", {"wpt0026"}, t::DiffTrees(OldTree(), withWorkName), nullptr},
            // Fails only in the commit phase, after files were replaced: those are
            // put back.
            {"commit-fails-late", {"wpt0034"}, t::DiffTrees(OldTree(), withoutLib),
              [](auto& r) { t::PutFile(r, "lib\\user.txt", "keeps lib from being removed"); }},
            // Held without sharing, or with read sharing only (it can be hashed but
            // not replaced): found before anything is touched.
            {"held", {"wpt0022"}, patch, hold(0)},
            {"held-read", {"wpt0022"}, patch, hold(FILE_SHARE_READ)},
            // A running program of the installation, and a file held open: both
            // named at once, before anything is written.
            {"running", {"wpt0022 file is in use: app.exe (system error 32)", "lib\\core.dll (system error 32)"},
              t::DiffTrees(withProgram, NewTree()),
              [&](auto& r) { running.push_back(t::StartSuspended(t::Join(r, "app.exe"))), hold(0)(r); }, withProgram},
            {"lie", {"wpt0030"}, lie, nullptr},
            {"own-log", {"wpt0026"}, Adds("patch.err"), nullptr},
            {"own-journal", {"wpt0026"}, Adds("PATCH.JNL"), nullptr},
            {"own-backup", {"wpt0026"}, Adds("~patch.bak\\0.old"), nullptr},
            {"own-second-backup", {"wpt0026"}, Adds("~Patch.Bak.7\\x"), nullptr},
            {"segment-table-lie", {"wpt0029"}, tableLie, nullptr},
            // Crafted paths with a valid whole-file hash (the full table of the
            // rules is tested with them): refused before anything is written.
            {"escape-up", {"wpt0008"}, Adds("lib\\..\\..\\evil.txt"), nullptr},
            {"escape-drive", {"wpt0008"}, Adds("C:\\evil.txt"), nullptr},
            {"escape-unc", {"wpt0008"}, Adds("\\\\?\\C:\\evil.txt"), nullptr},
            {"device", {"wpt0008"}, Adds("CON"), nullptr},
            {"stream", {"wpt0008"}, Adds("evil.txt:stream"), nullptr},
    };
    // clang-format on
    for (const Case& c : cases) {
        std::wstring root = Lay(c.name, c.tree, c.patch), base = root.substr(0, root.size() - 5);
        if (c.spoil) c.spoil(root);
        t::Snapshot before = t::Snap(base);
        EXPECT_EQ(Apply(root), 1) << c.name;
        std::string log = t::LogOf(root);
        t::Snapshot after = t::Snap(base);
        for (HANDLE h : held) ::CloseHandle(h);
        for (HANDLE p : running) t::End(p);
        held.clear();
        running.clear();
        EXPECT_TRUE(after == before) << c.name << ":" << t::DiffText(before, after) << "\n" << log;
        EXPECT_EQ(Count(log, "wpt0036"), 1) << c.name << "\n" << log;
        for (const std::string& line : c.says) EXPECT_NE(log.find(line), std::string::npos) << c.name << "\n" << log;
    }
    EXPECT_EQ(::GetFileAttributesW(L"C:\\evil.txt"), INVALID_FILE_ATTRIBUTES);
}

// Every byte flipped, every truncation and a byte appended: refused with
// the folder untouched; a damaged version field says so. The changed file
// is a segmented delta, so the layout of format 4 is damaged too.
TEST(Faults, EveryDamagedPatchIsRefused) {
    const std::string patch = t::DiffTrees(kSmallOld, kSmallNew, 2);
    std::wstring root = Lay("damaged", kSmallOld, patch);
    std::vector<std::string> bad = {patch + "x"};
    for (size_t at = 0; at < patch.size(); at++) {
        bad.push_back(patch.substr(0, at));
        bad.push_back(patch);
        bad.back()[at] ^= char(1 << (at % 8));
    }
    for (size_t i = 0; i < bad.size(); i++) {
        t::WriteBytes(root + L"\\..\\p.rtp", bad[i]);
        int code = Apply(root);
        std::string log = t::LogOf(root);
        bool version = i % 2 == 0 && i >= 10 && i <= 16;  // flips of bytes 4..7
        ASSERT_EQ(code, 1) << "variant " << i << "\n" << log;
        ASSERT_EQ(Count(log, "wpt0036"), 1) << log;
        ASSERT_TRUE(!version || log.find("wpt0011") != std::string::npos) << "variant " << i << "\n" << log;
        ASSERT_TRUE(t::Snap(root) == kSmallOld) << "variant " << i;
    }
}

// What an earlier run left behind, a row per case, each run in turn a check
// (-t) or a real one: a journal the engine cannot trust is left alone, and
// so is the folder; one cut short while its step list was written is
// dropped; an interrupted run is finished first by a real run, while a check
// changes nothing at all and says that the journal is there. An undo that
// could not remove the backup of a running program's file (a hard link to
// it, "~patch.bak\2.old") is complete: it never blocks a later run, which
// uses a fresh backup folder while the old one cannot be cleared, and
// clears it once the program has ended.
TEST(Faults, WhatARunLeftBehind) {
    const std::string patch = t::DiffTrees(OldTree(), NewTree());
    t::Snapshot programOld = OldTree(), programNew = NewTree(), withLeftover;
    programOld["app.exe"].bytes = programNew["app.exe"].bytes = SomeProgram();
    withLeftover = programNew;
    withLeftover["~patch.bak"].folder = true;
    withLeftover["~patch.bak\\2.old"] = programOld["app.exe"];
    std::vector<HANDLE> running;
    auto journal = [](const std::wstring& r, const std::string& bytes) { t::PutFile(r, "patch.jnl", bytes); };
    // The state the undo of a replace of the running app.exe left: its work
    // file removed, its backup a link to the program it could not remove.
    auto undoLeftBackup = [&](const std::wstring& r) {
        const std::vector<eng::Step> steps = {{eng::Op::makeFolder, 0, 0, L"~patch.bak"},
                                              {eng::Op::stage, 0, 0, L"app.exe"},
                                              {eng::Op::replace, 0, 0, L"app.exe"}};
        std::vector<uint8_t> bytes = eng::EncodeSteps(steps);
        for (uint8_t i = 0; i < 3; i++) bytes.insert(bytes.end(), {'B', 'E', 'G', 'N', i, 0, 0, 0});
        journal(r, std::string(bytes.begin(), bytes.end()));
        t::PutFolder(r, "~patch.bak");
        ASSERT_TRUE(::CreateHardLinkW(t::Join(r, "~patch.bak\\2.old").c_str(), t::Join(r, "app.exe").c_str(), nullptr));
        running.push_back(t::StartSuspended(t::Join(r, "app.exe")));
    };
    auto interrupted = [](const std::wstring& r) {
        ::SetEnvironmentVariableW(L"DVPATCH_STOP_AT", L"5");
        EXPECT_EQ(t::RunExe(t::EngineDir() + L"\\patch.exe", L"patch -e -noc ..\\p.rtp", r), 86u);
        ::SetEnvironmentVariableW(L"DVPATCH_STOP_AT", nullptr);
    };
    const t::Snapshot* const asBefore = nullptr;
    struct Run {
        bool check;
        int code;
        const char* says;
        const t::Snapshot* want;   // asBefore: the folder as before the run
        bool endPrograms = false;  // before the run
    };
    const char* present = "the journal of an interrupted run is present";
    struct Case {
        const char* name;
        t::Snapshot from, to;
        std::function<void(const std::wstring&)> leave;
        std::vector<Run> runs;
    } cases[] = {
        {"not-ours",
         OldTree(),
         NewTree(),
         [&](auto& r) { journal(r, "not a journal of ours"); },
         {{true, 3, "wpt0013", asBefore}, {false, 3, "wpt0013", asBefore}}},
        {"torn",
         OldTree(),
         NewTree(),
         [&](auto& r) { journal(r, std::string("DVJ1\x02\0\0\0\x01", 9)); },
         {{true, 0, present, asBefore}, {false, 0, "update complete", &cases[1].to}}},
        {"interrupted",
         OldTree(),
         NewTree(),
         interrupted,
         {{true, 0, present, asBefore}, {false, 0, "undoing an interrupted run", &cases[2].to}}},
        {"undo-kept-a-backup",
         programOld,
         programNew,
         undoLeftBackup,
         {{true, 0, present, asBefore},
          {false, 0, "~patch.bak (an earlier run's backup folder", &withLeftover},
          {false, 0, "update complete", &cases[3].to, true}}},
    };
    for (const Case& c : cases) {
        std::wstring root = Lay(c.name, c.from, t::DiffTrees(c.from, c.to));
        c.leave(root);
        for (size_t i = 0; i < c.runs.size(); i++) {
            const Run& r = c.runs[i];
            if (r.endPrograms) {
                for (HANDLE p : running) t::End(p);
                running.clear();
            }
            t::Snapshot before = t::Snap(root);
            std::vector<std::wstring> args = {L"-e", L"-noc", L"..\\p.rtp"};
            if (r.check) args.insert(args.begin(), L"-t");
            EXPECT_EQ(t::RunIn(root, args), r.code) << c.name << " run " << i << "\n" << t::LogOf(root);
            std::string log = t::LogOf(root);
            t::Snapshot after = t::Snap(root);
            const t::Snapshot& want = r.want ? *r.want : before;
            EXPECT_TRUE(after == want) << c.name << " run " << i << t::DiffText(want, after) << "\n" << log;
            EXPECT_NE(log.find(r.says), std::string::npos) << c.name << " run " << i << "\n" << log;
        }
    }
    for (HANDLE p : running) t::End(p);
}

// The caller judges the run by the log: if it cannot be written, nothing
// may change.
TEST(Faults, LogThatCannotBeWritten) {
    std::wstring root = Lay("nolog", kSmallOld, t::DiffTrees(kSmallOld, kSmallNew));
    t::PutFolder(root, "patch.err");  // a folder where the log should go
    t::Snapshot before = t::Snap(root);
    EXPECT_EQ(Apply(root), 1);
    EXPECT_TRUE(t::Snap(root) == before);

    // A log held for writing, as by a second engine running in the folder.
    ::RemoveDirectoryW((root + L"\\patch.err").c_str());
    HANDLE held = ::CreateFileW((root + L"\\patch.err").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Apply(root), 1);
    ::CloseHandle(held);
    EXPECT_TRUE(t::Snap(root) == kSmallOld);
}

// The command line: every option the updater passes is tested with its
// effect in apply_test.cpp and kill_test.cpp.
TEST(Faults, MissingPatchFileAndBadCommandLines) {
    std::wstring root = t::Scratch("cmdline");
    struct Case {
        std::vector<std::wstring> args;
        int code;
        const char* tag;
    } cases[] = {
        {{L"-e", L"-noc", L"nowhere.rtp"}, 1, "wpt0003"},
        {{L"-e", L"-noc"}, 2, "wpt0002"},
        {{L"-e", L"-noc", L"a.rtp", L"b.rtp"}, 2, "wpt0002"},
        {{L"-e", L"-noc", L"-zz", L"a.rtp"}, 2, "wpt0001 unknown option: -zz"},
        {{L"-e", L"-noc", L"-ee", L"a.rtp"}, 2, "wpt0001 unknown option: -ee"},
        {{L"-e", L"-noc", L"/e", L"a.rtp"}, 2, "wpt0002"},  // a name, not an option
        {{L"-E", L"-NOC", L"nowhere.rtp"}, 1, "wpt0003"},   // options in any case: the log is written
    };
    for (const Case& c : cases) {
        ::DeleteFileW((root + L"\\patch.err").c_str());
        EXPECT_EQ(t::RunIn(root, c.args), c.code);
        std::string log = t::LogOf(root);
        EXPECT_NE(log.find(c.tag), std::string::npos) << log;
        EXPECT_EQ(Count(log, "wpt0036"), 1) << log;
    }
}

}  // namespace
