#include "support.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>

#include "deltawriter.h"
#include "run.h"
#include "sha256.h"
#include "text.h"

namespace t {

namespace {

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + " failed, error " + std::to_string(::GetLastError()));
}

// A Unix path as Wine shows it to Windows programs (drive Z:).
std::wstring WinPath(const std::string& unixPath) {
    std::wstring w = L"Z:";
    for (char c : unixPath) w += c == '/' ? L'\\' : wchar_t(c);
    return w;
}

// Calls each(name, is folder) for the entries of folder `dir`.
template <typename F>
void ForEachIn(const std::wstring& dir, F each) {
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") each(name, fd.dwFileAttributes);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
}

void SnapInto(const std::wstring& root, const std::string& prefix, Snapshot* out) {
    ForEachIn(root, [&](const std::wstring& name, DWORD attributes) {
        if (name == L"patch.err") return;
        std::string rel = prefix + eng::WideToUtf8(name);
        Item& it = (*out)[rel];
        it.folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        it.readOnly = !it.folder && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
        if (it.folder)
            SnapInto(root + L"\\" + name, rel + "\\", out);
        else
            it.bytes = GetFile(root + L"\\" + name);
    });
}

}  // namespace

std::string Sha256Of(const std::string& bytes) {
    core::sha256::Digest d = core::sha256::Of(bytes.data(), bytes.size());
    return std::string(reinterpret_cast<const char*>(d.bytes), 32);
}

std::wstring EngineDir() { return WinPath(DV_ENGINE_DIR); }

std::wstring Join(const std::wstring& root, const std::string& rel) {
    std::wstring w;
    Check(eng::Utf8ToWide(rel, &w), "utf8");
    return root + L"\\" + w;
}

void RemoveTree(const std::wstring& path) {
    ForEachIn(path, [&](const std::wstring& name, DWORD attributes) {
        std::wstring full = path + L"\\" + name;
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return RemoveTree(full);
        ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(full.c_str());
    });
    ::RemoveDirectoryW(path.c_str());
}

std::wstring Scratch(const std::string& name) {
    std::wstring base = WinPath(DV_SCRATCH), dir = Join(base, name);
    ::CreateDirectoryW(base.c_str(), nullptr);
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
    for (const auto& [path, item] : s) {
        if (item.folder) {
            PutFolder(root, path);
            continue;
        }
        PutFile(root, path, item.bytes);
        if (item.readOnly) ::SetFileAttributesW(Join(root, path).c_str(), FILE_ATTRIBUTE_READONLY);
    }
}

std::string DiffText(const Snapshot& a, const Snapshot& b) {
    std::string out;
    for (const auto& kv : a) {
        auto it = b.find(kv.first);
        if (it == b.end())
            out += " only-left:" + kv.first;
        else if (!(it->second == kv.second))
            out += " differs:" + kv.first;
    }
    for (const auto& kv : b)
        if (!a.count(kv.first)) out += " only-right:" + kv.first;
    return out;
}

std::string StoredPatch(const std::vector<Stored>& stored) {
    std::vector<core::patchfile::Entry> entries;
    std::string data;
    for (const Stored& s : stored) {
        core::patchfile::Entry x{};
        x.kind = s.kind;
        x.method = core::patchfile::Method::stored;
        x.path = s.path;
        if (s.kind == core::patchfile::Kind::changeFile || s.kind == core::patchfile::Kind::removeFile) {
            x.oldSize = s.oldBytes.size();
            memcpy(x.oldSha, Sha256Of(s.oldBytes).data(), 32);
        }
        if (s.kind == core::patchfile::Kind::addFile || s.kind == core::patchfile::Kind::changeFile) {
            x.newSize = x.dataLength = s.newBytes.size();
            memcpy(x.newSha, Sha256Of(s.newBytes).data(), 32);
            x.dataOffset = data.size();  // made absolute below
            if (s.segments == 0) {
                data += s.newBytes;
            } else {
                struct : core::delta::OutStream {
                    std::string* to;
                    bool Write(const void* buf, size_t n) override {
                        to->append(static_cast<const char*>(buf), n);
                        return true;
                    }
                } sink;
                sink.to = &data;
                auto* o = reinterpret_cast<const uint8_t*>(s.oldBytes.data());
                auto* n = reinterpret_cast<const uint8_t*>(s.newBytes.data());
                size_t both = std::min(s.oldBytes.size(), s.newBytes.size());
                core::delta::SegmentWriter w(sink, s.newBytes.size(), core::delta::Copies::groups4, s.segments);
                w.Command(0, o, n, both, n + both, s.newBytes.size() - both);
                Check(w.Finish(), "code a delta");
                x.method = core::patchfile::Method::runs;
                x.segmented = true;
                x.dataLength = w.BytesWritten();
            }
        }
        entries.push_back(x);
    }
    uint64_t start = core::patchfile::DataStart(entries);
    for (core::patchfile::Entry& x : entries)
        if (x.kind == core::patchfile::Kind::addFile || x.kind == core::patchfile::Kind::changeFile)
            x.dataOffset += start;
    std::vector<uint8_t> head = core::patchfile::WriteHead(entries, data.size());
    std::string out = std::string(head.begin(), head.end()) + data;
    return out.replace(16, 32, Sha256Of(out.substr(core::patchfile::kHashedFrom)));
}

std::string DiffTrees(const Snapshot& from, const Snapshot& to, uint32_t segments) {
    using K = core::patchfile::Kind;
    auto kindIn = [](const Snapshot& s, const std::string& p, bool folder) {
        auto it = s.find(p);
        return it != s.end() && it->second.folder == folder;
    };
    std::vector<Stored> out;
    for (const auto& [p, item] : from)
        if (!item.folder && !kindIn(to, p, false)) out.push_back({K::removeFile, p, item.bytes, ""});
    // Deepest first: a child's path is longer than its parent's.
    std::vector<std::string> gone;
    for (const auto& [p, item] : from)
        if (item.folder && !kindIn(to, p, true)) gone.push_back(p);
    std::sort(gone.begin(), gone.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& g : gone) out.push_back({K::removeFolder, g, "", ""});
    for (const auto& [p, item] : to)
        if (item.folder && !kindIn(from, p, true)) out.push_back({K::makeFolder, p, "", ""});
    for (const auto& [p, item] : to) {
        if (item.folder) continue;
        if (!kindIn(from, p, false))
            out.push_back({K::addFile, p, "", item.bytes});
        else if (from.at(p).bytes != item.bytes)
            out.push_back({K::changeFile, p, from.at(p).bytes, item.bytes, segments});
    }
    return StoredPatch(out);
}

int RunIn(const std::wstring& root, const std::vector<std::wstring>& args) {
    wchar_t before[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, before);
    Check(::SetCurrentDirectoryW(root.c_str()) != 0, "enter working folder");
    int code = eng::RunEngine(args, L"");
    ::SetCurrentDirectoryW(before);
    return code;
}

DWORD RunExe(const std::wstring& exe, const std::wstring& line, const std::wstring& cwd, DWORD killAfterMs) {
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

HANDLE StartSuspended(const std::wstring& exe) {
    std::wstring line = L"\"" + exe + L"\"";
    std::vector<wchar_t> buf(line.begin(), line.end());
    buf.push_back(0);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    Check(::CreateProcessW(exe.c_str(), buf.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si,
                           &pi) != 0,
          "start suspended");
    ::CloseHandle(pi.hThread);
    return pi.hProcess;
}

void End(HANDLE process) {
    ::TerminateProcess(process, 0);
    ::WaitForSingleObject(process, INFINITE);
    ::CloseHandle(process);
}

Snapshot RandomTree(uint32_t seed, int files, size_t maxSize) {
    std::mt19937 rng(seed);
    const char* folders[] = {"", "bin\\", "data\\", "data\\deep\\", "Help Files\\"};
    Snapshot s = {{"bin", {true}}, {"data", {true}}, {"data\\deep", {true}}, {"Help Files", {true}}};
    for (int i = 0; i < files; i++) {
        std::string path = std::string(folders[rng() % 5]) + "f" + std::to_string(i) + (i % 3 ? ".dll" : ".txt");
        std::string bytes(i % 7 == 0 ? 0 : rng() % (maxSize + 1), '\0');
        for (char& c : bytes) c = char(rng() % (i % 2 ? 256 : 26) + (i % 2 ? 0 : 'a'));
        s[path].bytes = bytes;
    }
    return s;
}

Snapshot Mutate(const Snapshot& base, uint32_t seed) {
    std::mt19937 rng(seed);
    Snapshot s;
    for (const auto& [path, item] : base) {
        if (item.folder && (seed % 2 == 0 || path.compare(0, 9, "data\\deep") != 0)) s[path] = item;
        if (item.folder || (seed % 2 && path.compare(0, 9, "data\\deep") == 0)) continue;
        uint32_t r = rng() % 4;
        if (r == 0) continue;  // removed
        s[path] = item;
        if (r == 1) {  // changed in place, longer or shorter
            if (!item.bytes.empty()) s[path].bytes[rng() % item.bytes.size()] ^= 0x5A;
            s[path].bytes.append(rng() % 100, 'x');
        }
    }
    s["new folder"].folder = true;
    s["new folder\\inner"].folder = true;
    s["new folder\\inner\\added.bin"].bytes = std::string(rng() % 5000, 'n');
    s["bin\\added.txt"].bytes = "added " + std::to_string(seed);
    return s;
}

}  // namespace t
