// Runs that must not complete: each leaves the folder byte for byte as it
// was, says why in the log and ends it with "wpt0036".
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "support.h"

namespace {

t::Snapshot OldTree() {
  t::Snapshot s;
  s["app.exe"].bytes = "application v1";
  s["lib"].folder = true;
  s["lib\\core.dll"].bytes = std::string(5000, 'c');
  s["lib\\gone.dll"].bytes = "to be removed";
  s["readme.txt"].bytes = "read me";
  return s;
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
t::Snapshot SmallOld() {
  t::Snapshot s;
  s["a.txt"].bytes = "alpha";
  s["d"].folder = true;
  s["d\\b.txt"].bytes = "beta";
  return s;
}

t::Snapshot SmallNew() {
  t::Snapshot s;
  s["a.txt"].bytes = "alpha 2";
  s["c.txt"].bytes = "gamma";
  return s;
}

int Count(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) n++;
  return n;
}

struct Outcome {
  int code;
  std::string log;
  bool unchanged;
  std::string diff;
};

// Lays out the old tree, lets `spoil` alter it, applies `patch` and checks
// the folder against how it was just before the run.
Outcome RunFault(const std::string& name, const std::string& patch,
                 const std::function<void(const std::wstring&)>& spoil, const std::function<void()>& during = nullptr) {
  std::wstring base = t::Scratch(name), root = base + L"\\tree";
  ::CreateDirectoryW(root.c_str(), nullptr);
  t::Materialise(root, OldTree());
  if (spoil) spoil(root);
  t::Snapshot before = t::Snap(root);
  t::WriteBytes(base + L"\\p.rtp", patch);
  Outcome o;
  o.code = t::RunIn(root, {L"-e", L"-v", L"-noc", base + L"\\p.rtp"});
  if (during) during();
  o.log = t::LogOf(root);
  t::Snapshot after = t::Snap(root);
  o.unchanged = after == before;
  o.diff = t::DiffText(before, after);
  return o;
}

void ExpectRefused(const Outcome& o, const std::string& code, const std::string& what) {
  EXPECT_NE(o.code, 0) << what;
  EXPECT_TRUE(o.unchanged) << what << ":" << o.diff << "\n" << o.log;
  EXPECT_EQ(Count(o.log, "wpt0036"), 1) << what << "\n" << o.log;
  if (!code.empty()) {
    EXPECT_NE(o.log.find(code), std::string::npos) << what << "\n" << o.log;
  }
}

TEST(Faults, FolderInAStateThePatchCannotStartFrom) {
  const std::string patch = t::DiffTrees(OldTree(), NewTree());
  struct Case {
    const char* name;
    const char* code;
    std::function<void(const std::wstring&)> spoil;
  } cases[] = {
      {"unexpected-content", "wpt0020", [](const std::wstring& r) { t::PutFile(r, "lib\\core.dll", "edited"); }},
      {"removed-file-edited", "wpt0020", [](const std::wstring& r) { t::PutFile(r, "lib\\gone.dll", "edited"); }},
      {"missing", "wpt0021", [](const std::wstring& r) { ::DeleteFileW(t::Join(r, "app.exe").c_str()); }},
      {"folder-for-file", "wpt0023",
       [](const std::wstring& r) {
         ::DeleteFileW(t::Join(r, "app.exe").c_str());
         t::PutFolder(r, "app.exe");
       }},
      {"file-for-folder", "wpt0024", [](const std::wstring& r) { t::PutFile(r, "extra", "a file"); }},
      {"add-target-taken", "wpt0020", [](const std::wstring& r) { t::PutFile(r, "lib\\added.dll", "mine"); }},
      {"work-name-taken", "wpt0026", [](const std::wstring& r) { t::PutFile(r, "app.exe.~dvnew", "?"); }},
      // Fails only in the commit phase, after files were replaced: those are
      // put back.
      {"commit-fails-late", "wpt0034",
       [](const std::wstring& r) { t::PutFile(r, "lib\\user.txt", "keeps lib from being removed"); }},
  };
  t::Snapshot withoutLib = NewTree();
  withoutLib.erase("lib\\core.dll");
  withoutLib.erase("lib\\added.dll");
  withoutLib.erase("lib");
  for (const Case& c : cases) {
    std::string p = std::string(c.name) == "commit-fails-late" ? t::DiffTrees(OldTree(), withoutLib) : patch;
    ExpectRefused(RunFault(c.name, p, c.spoil), c.code, c.name);
  }
}

TEST(Faults, FileHeldOpenWithoutSharing) {
  const std::string patch = t::DiffTrees(OldTree(), NewTree());
  HANDLE held = INVALID_HANDLE_VALUE;
  Outcome o = RunFault("held", patch, [&](const std::wstring& r) {
    // Another thread holds the file, as a running program would.
    std::thread([&] {
      held = ::CreateFileW(t::Join(r, "lib\\core.dll").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }).join();
  });
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ::CloseHandle(held);
  ExpectRefused(o, "wpt0022", "held");
}

// Held with read sharing only: it can be read and hashed, but not replaced;
// found before anything is touched.
TEST(Faults, FileHeldOpenAgainstReplacement) {
  const std::string patch = t::DiffTrees(OldTree(), NewTree());
  HANDLE held = INVALID_HANDLE_VALUE;
  Outcome o = RunFault("held-read", patch, [&](const std::wstring& r) {
    held = ::CreateFileW(t::Join(r, "lib\\core.dll").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         0, nullptr);
  });
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ::CloseHandle(held);
  ExpectRefused(o, "wpt0022", "held-read");
}

// Data that passes the whole-file check but does not make the recorded new
// file: found after other files were staged, and nothing is kept.
TEST(Faults, DataThatDoesNotMakeTheRecordedFile) {
  std::string patch = t::DiffTrees(OldTree(), NewTree());
  // The last byte of the file is stored data of the last file added: make
  // it differ from its recorded hash, then reseal the whole-file hash.
  patch.back() ^= 0x20;
  std::string tail = patch.substr(48);
  patch = patch.substr(0, 16) + t::Sha256Of(tail) + tail;
  ExpectRefused(RunFault("lie", patch, nullptr), "wpt0030", "lie");
}

TEST(Faults, EveryFlippedByteIsRefused) {
  const std::string patch = t::DiffTrees(SmallOld(), SmallNew());
  std::wstring base = t::Scratch("flip"), root = base + L"\\tree";
  ::CreateDirectoryW(root.c_str(), nullptr);
  t::Materialise(root, SmallOld());
  const t::Snapshot before = t::Snap(root);
  for (size_t at = 0; at < patch.size(); at++) {
    std::string bad = patch;
    bad[at] ^= char(1 << (at % 8));
    t::WriteBytes(base + L"\\p.rtp", bad);
    int code = t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"});
    std::string log = t::LogOf(root);
    ASSERT_EQ(code, 1) << "byte " << at << "\n" << log;
    ASSERT_EQ(Count(log, "wpt0036"), 1) << log;
    if (at >= 4 && at < 8) {
      ASSERT_NE(log.find("wpt0011"), std::string::npos) << "version byte " << at << "\n" << log;
    }
    ASSERT_TRUE(t::Snap(root) == before) << "byte " << at;
  }
}

TEST(Faults, EveryTruncationIsRefused) {
  const std::string patch = t::DiffTrees(SmallOld(), SmallNew());
  std::wstring base = t::Scratch("cut"), root = base + L"\\tree";
  ::CreateDirectoryW(root.c_str(), nullptr);
  t::Materialise(root, SmallOld());
  const t::Snapshot before = t::Snap(root);
  for (size_t n = 0; n < patch.size(); n++) {
    t::WriteBytes(base + L"\\p.rtp", patch.substr(0, n));
    ASSERT_EQ(t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"}), 1) << n;
    ASSERT_NE(t::LogOf(root).find("wpt0036"), std::string::npos);
    ASSERT_TRUE(t::Snap(root) == before) << n;
  }
  t::WriteBytes(base + L"\\p.rtp", patch + "x");  // appended bytes too
  EXPECT_EQ(t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"}), 1);
  EXPECT_TRUE(t::Snap(root) == before);
}

// Crafted paths with a valid whole-file hash: refused before anything is
// written, inside or outside the folder.
TEST(Faults, PathsThatEscapeTheFolder) {
  const char* paths[] = {"..\\evil.txt", "lib\\..\\..\\evil.txt", "C:\\evil.txt", "c:evil.txt", "\\evil.txt",
                         "\\\\server\\share\\evil.txt", "lib/evil.txt", "CON", "lib\\nul.txt", "COM1.dll",
                         "lpt9", "evil.txt:stream", "evil.", "evil ", "lib\\\\evil.txt", ".\\evil.txt",
                         "evil\x01.txt", "\\\\?\\C:\\evil.txt"};
  std::wstring base = t::Scratch("escape"), root = base + L"\\in\\tree";
  t::PutFolder(base, "in\\tree");
  t::Materialise(root, OldTree());
  const t::Snapshot outside = t::Snap(base);
  for (const char* p : paths) {
    t::PatchWriter w;
    w.Add("fine.txt", "harmless");
    w.Add(p, "evil");
    t::WriteBytes(base + L"\\p.rtp", w.Build());
    int code = t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"});
    std::string log = t::LogOf(root);
    EXPECT_EQ(code, 1) << p;
    EXPECT_NE(log.find("wpt0008"), std::string::npos) << p << "\n" << log;
    ::DeleteFileW((base + L"\\p.rtp").c_str());
    t::Snapshot now = t::Snap(base);
    EXPECT_TRUE(now == outside) << p << t::DiffText(outside, now);
    EXPECT_EQ(::GetFileAttributesW(L"C:\\evil.txt"), INVALID_FILE_ATTRIBUTES);
  }
}

TEST(Faults, PatchNamingTheEnginesOwnFiles) {
  for (const char* name : {"patch.err", "PATCH.JNL", "~patch.bak\\0.old"}) {
    t::PatchWriter w;
    w.Add("fine.txt", "fine");
    w.Add(name, "mine");
    Outcome o = RunFault(std::string("own-") + (name[0] == '~' ? "bak" : name), w.Build(), nullptr);
    ExpectRefused(o, "wpt0026", name);
  }
}

// A journal the engine cannot trust is left alone, and so is the folder; a
// journal cut short while its step list was written is dropped.
TEST(Faults, JournalLeftBehind) {
  const std::string patch = t::DiffTrees(SmallOld(), SmallNew());
  std::wstring base = t::Scratch("journal"), root = base + L"\\tree";
  ::CreateDirectoryW(root.c_str(), nullptr);
  t::Materialise(root, SmallOld());
  t::WriteBytes(base + L"\\p.rtp", patch);
  t::PutFile(root, "patch.jnl", "not a journal of ours");
  t::Snapshot before = t::Snap(root);
  EXPECT_EQ(t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"}), 3);
  std::string log = t::LogOf(root);
  EXPECT_NE(log.find("wpt0013"), std::string::npos) << log;
  EXPECT_EQ(Count(log, "wpt0036"), 1) << log;
  EXPECT_TRUE(t::Snap(root) == before);

  t::PutFile(root, "patch.jnl", std::string("DVJ1\x02\0\0\0\x01", 9));  // torn step list
  EXPECT_EQ(t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"}), 0) << t::LogOf(root);
  EXPECT_TRUE(t::Snap(root) == SmallNew());
}

// The caller judges the run by the log: if it cannot be written, nothing
// may change.
TEST(Faults, LogThatCannotBeWritten) {
  std::wstring base = t::Scratch("nolog"), root = base + L"\\tree";
  ::CreateDirectoryW(root.c_str(), nullptr);
  t::Materialise(root, SmallOld());
  t::WriteBytes(base + L"\\p.rtp", t::DiffTrees(SmallOld(), SmallNew()));
  t::PutFolder(root, "patch.err");  // a folder where the log should go
  t::Snapshot before = t::Snap(root);
  EXPECT_EQ(t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"}), 1);
  EXPECT_TRUE(t::Snap(root) == before);

  // A log held for writing, as by a second engine running in the folder.
  ::RemoveDirectoryW((root + L"\\patch.err").c_str());
  HANDLE held = ::CreateFileW((root + L"\\patch.err").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(t::RunIn(root, {L"-e", L"-noc", base + L"\\p.rtp"}), 1);
  ::CloseHandle(held);
  EXPECT_TRUE(t::Snap(root) == SmallOld());
}

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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(t::RunIn(root, c.args), c.code);
    std::string log = t::LogOf(root);
    EXPECT_NE(log.find(c.tag), std::string::npos) << log;
    EXPECT_EQ(Count(log, "wpt0036"), 1) << log;
  }
}

}  // namespace
