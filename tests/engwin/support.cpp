#include "support.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

#include "patchfile.h"
#include "run.h"
#include "sha256.h"
#include "text.h"

namespace t {

namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what + " failed, error " + std::to_string(::GetLastError()));
}

std::string Sha(const std::string& bytes) {
  eng::Sha256 sha;
  eng::Digest d;
  Check(sha.Start() && sha.Update(bytes.data(), bytes.size()) && sha.Finish(&d), "sha256");
  return std::string(reinterpret_cast<const char*>(d.bytes), 32);
}

void SnapInto(const std::wstring& root, const std::string& prefix, Snapshot* out) {
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((root + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = fd.cFileName;
    if (name == L"." || name == L"..") continue;
    std::string rel = prefix + eng::WideToUtf8(name);
    if (name == L"patch.err") continue;
    Item it;
    it.folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    it.readOnly = !it.folder && (fd.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (it.folder) SnapInto(root + L"\\" + name, rel + "\\", out);
    else it.bytes = GetFile(root + L"\\" + name);
    (*out)[rel] = it;
  } while (::FindNextFileW(h, &fd));
  ::FindClose(h);
}

}  // namespace

std::string Sha256Of(const std::string& bytes) { return Sha(bytes); }

std::wstring WinPath(const std::string& unixPath) {
  std::wstring w = L"Z:";
  for (char c : unixPath) w += c == '/' ? L'\\' : wchar_t(c);
  return w;
}

std::wstring EngineDir() { return WinPath(DV_ENGINE_DIR); }

std::wstring Join(const std::wstring& root, const std::string& rel) {
  std::wstring w;
  Check(eng::Utf8ToWide(rel, &w), "utf8");
  return root + L"\\" + w;
}

void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  HANDLE h = ::FindFirstFileW((path + L"\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring full = path + L"\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(full.c_str());
      }
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
  }
  ::RemoveDirectoryW(path.c_str());
}

std::wstring Scratch(const std::string& name) {
  std::wstring base = WinPath(DV_SCRATCH);
  ::CreateDirectoryW(base.c_str(), nullptr);
  std::wstring dir = Join(base, name);
  RemoveTree(dir);
  Check(::CreateDirectoryW(dir.c_str(), nullptr) != 0, "create scratch");
  return dir;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  Check(h != INVALID_HANDLE_VALUE, "create file");
  DWORD put = 0;
  bool ok = bytes.empty() || ::WriteFile(h, bytes.data(), DWORD(bytes.size()), &put, nullptr);
  ::CloseHandle(h);
  Check(ok && put == bytes.size(), "write file");
}

void PutFolder(const std::wstring& root, const std::string& rel) {
  for (size_t cut = rel.find('\\'); cut != std::string::npos; cut = rel.find('\\', cut + 1))
    ::CreateDirectoryW(Join(root, rel.substr(0, cut)).c_str(), nullptr);
  ::CreateDirectoryW(Join(root, rel).c_str(), nullptr);
}

void PutFile(const std::wstring& root, const std::string& rel, const std::string& bytes) {
  size_t cut = rel.rfind('\\');
  if (cut != std::string::npos) PutFolder(root, rel.substr(0, cut));
  WriteBytes(Join(root, rel), bytes);
}

std::string GetFile(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "<unreadable>";
  std::string out;
  char buf[65536];
  DWORD got;
  while (::ReadFile(h, buf, sizeof(buf), &got, nullptr) && got > 0) out.append(buf, got);
  ::CloseHandle(h);
  return out;
}

Snapshot Snap(const std::wstring& root) {
  Snapshot s;
  SnapInto(root, "", &s);
  return s;
}

void Materialise(const std::wstring& root, const Snapshot& s) {
  for (const auto& kv : s) {
    if (kv.second.folder) {
      PutFolder(root, kv.first);
      continue;
    }
    PutFile(root, kv.first, kv.second.bytes);
    if (kv.second.readOnly) ::SetFileAttributesW(Join(root, kv.first).c_str(), FILE_ATTRIBUTE_READONLY);
  }
}

std::string DiffText(const Snapshot& a, const Snapshot& b) {
  std::string out;
  for (const auto& kv : a) {
    auto it = b.find(kv.first);
    if (it == b.end()) out += " only-left:" + kv.first;
    else if (!(it->second == kv.second)) out += " differs:" + kv.first;
  }
  for (const auto& kv : b)
    if (!a.count(kv.first)) out += " only-right:" + kv.first;
  return out;
}

void PatchWriter::MakeFolder(const std::string& path) { entries_.push_back({1, path, "", ""}); }
void PatchWriter::Add(const std::string& path, const std::string& bytes) { entries_.push_back({2, path, "", bytes}); }
void PatchWriter::Change(const std::string& path, const std::string& o, const std::string& n) {
  entries_.push_back({3, path, o, n});
}
void PatchWriter::RemoveFile(const std::string& path, const std::string& o) { entries_.push_back({4, path, o, ""}); }
void PatchWriter::RemoveFolder(const std::string& path) { entries_.push_back({5, path, "", ""}); }

std::string PatchWriter::Build() const {
  std::vector<patchfile::Entry> entries;
  std::string data;
  for (const E& e : entries_) {
    patchfile::Entry x{};
    x.kind = patchfile::Kind(e.kind);
    x.method = patchfile::Method::stored;
    x.path = e.path;
    if (e.kind == 3 || e.kind == 4) {
      x.oldSize = e.oldBytes.size();
      memcpy(x.oldSha, Sha(e.oldBytes).data(), 32);
    }
    if (e.kind == 2 || e.kind == 3) {
      x.newSize = x.dataLength = e.newBytes.size();
      memcpy(x.newSha, Sha(e.newBytes).data(), 32);
      x.dataOffset = data.size();
      data += e.newBytes;
    }
    entries.push_back(x);
  }
  uint64_t start = patchfile::DataStart(entries);
  for (patchfile::Entry& x : entries)
    if (x.kind == patchfile::Kind::addFile || x.kind == patchfile::Kind::changeFile) x.dataOffset += start;
  std::vector<uint8_t> head = patchfile::WriteHead(entries, data.size());
  std::string out(head.begin(), head.end());
  out += data;
  std::string sha = Sha(out.substr(patchfile::kHashedFrom));
  out.replace(16, 32, sha);
  return out;
}

std::string DiffTrees(const Snapshot& from, const Snapshot& to) {
  PatchWriter w;
  auto folderIn = [](const Snapshot& s, const std::string& p) {
    auto it = s.find(p);
    return it != s.end() && it->second.folder;
  };
  auto fileIn = [](const Snapshot& s, const std::string& p) {
    auto it = s.find(p);
    return it != s.end() && !it->second.folder;
  };
  for (const auto& kv : from)
    if (!kv.second.folder && !fileIn(to, kv.first)) w.RemoveFile(kv.first, kv.second.bytes);
  // Deepest first: a child's path is longer than its parent's.
  std::vector<std::string> gone;
  for (const auto& kv : from)
    if (kv.second.folder && !folderIn(to, kv.first)) gone.push_back(kv.first);
  std::sort(gone.begin(), gone.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& g : gone) w.RemoveFolder(g);
  for (const auto& kv : to)
    if (kv.second.folder && !folderIn(from, kv.first)) w.MakeFolder(kv.first);
  for (const auto& kv : to) {
    if (kv.second.folder) continue;
    auto it = from.find(kv.first);
    if (it == from.end() || it->second.folder) w.Add(kv.first, kv.second.bytes);
    else if (it->second.bytes != kv.second.bytes) w.Change(kv.first, it->second.bytes, kv.second.bytes);
  }
  return w.Build();
}

int RunIn(const std::wstring& root, const std::vector<std::wstring>& args) {
  wchar_t before[MAX_PATH];
  ::GetCurrentDirectoryW(MAX_PATH, before);
  Check(::SetCurrentDirectoryW(root.c_str()) != 0, "enter working folder");
  int code = eng::RunEngine(args, L"");
  ::SetCurrentDirectoryW(before);
  return code;
}

namespace {

DWORD Launch(const std::wstring& exe, const std::wstring& line, const std::wstring& cwd, DWORD killAfterMs) {
  std::vector<wchar_t> buf(line.begin(), line.end());
  buf.push_back(0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  Check(::CreateProcessW(exe.c_str(), buf.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &si, &pi) != 0,
        "start engine");
  if (::WaitForSingleObject(pi.hProcess, killAfterMs) == WAIT_TIMEOUT) ::TerminateProcess(pi.hProcess, 77);
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return code;
}

}  // namespace

DWORD RunExe(const std::wstring& exe, const std::wstring& args, const std::wstring& cwd, DWORD killAfterMs) {
  return Launch(exe, L"\"" + exe + L"\" " + args, cwd, killAfterMs);
}

DWORD RunLine(const std::wstring& exe, const std::wstring& line, const std::wstring& cwd) {
  return Launch(exe, line, cwd, INFINITE);
}

std::string LogOf(const std::wstring& root) { return GetFile(root + L"\\patch.err"); }

Snapshot RandomTree(uint32_t seed, int files, size_t maxSize) {
  std::mt19937 rng(seed);
  Snapshot s;
  const char* folders[] = {"", "bin\\", "data\\", "data\\deep\\", "Help Files\\"};
  for (const char* f : folders)
    if (*f) s[std::string(f, std::strlen(f) - 1)].folder = true;
  s["data"].folder = true;
  for (int i = 0; i < files; i++) {
    std::string path = std::string(folders[rng() % 5]) + "f" + std::to_string(i) + (i % 3 ? ".dll" : ".txt");
    size_t size = i % 7 == 0 ? 0 : rng() % (maxSize + 1);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = char(rng() % (i % 2 ? 256 : 26) + (i % 2 ? 0 : 'a'));
    s[path].bytes = bytes;
  }
  return s;
}

Snapshot Mutate(const Snapshot& base, uint32_t seed) {
  std::mt19937 rng(seed);
  Snapshot s;
  for (const auto& kv : base) {
    if (kv.second.folder) {
      s[kv.first] = kv.second;
      continue;
    }
    switch (rng() % 4) {
      case 0: break;  // removed
      case 1: {       // changed in place, longer or shorter
        Item it = kv.second;
        if (!it.bytes.empty()) it.bytes[rng() % it.bytes.size()] ^= 0x5A;
        it.bytes.append(rng() % 100, 'x');
        s[kv.first] = it;
        break;
      }
      default: s[kv.first] = kv.second;
    }
  }
  // Odd seeds also drop a whole folder with what is in it.
  if (seed % 2) {
    for (auto it = s.begin(); it != s.end();)
      it = it->first.compare(0, 9, "data\\deep") == 0 ? s.erase(it) : std::next(it);
  }
  s["new folder"].folder = true;
  s["new folder\\inner"].folder = true;
  s["new folder\\inner\\added.bin"].bytes = std::string(rng() % 5000, 'n');
  s["bin\\added.txt"].bytes = "added " + std::to_string(seed);
  return s;
}

}  // namespace t
