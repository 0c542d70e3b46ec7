#include "scratch.h"
#include <algorithm>
#include <cstring>
#include "platform/dir.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "platform/msgbox.h"
#include "platform/opendialog.h"
#include "platform/utf.h"

const HWND kOwner = reinterpret_cast<HWND>(0x4321);
std::vector<Box> g_boxes;
std::vector<Asked> g_asked;
std::map<std::string, std::string> g_answers;

static int RecordBox(HWND owner, const char* text, const char* title, UINT flags) {
    g_boxes.push_back(Box{owner, text, title, flags});
    return IDOK;
}

static bool AnswerOpenFile(HWND owner, const char* title, const char* pattern, const char* initialName,
                           std::string& out) {
    g_asked.push_back(Asked{owner, title, pattern, initialName});
    out = g_answers[pattern];
    return !out.empty();
}

void WriteText(const std::string& path, const std::string& content) {
    platform::Handle h;
    platform::SetReadOnly(path.c_str(), false);
    platform::DeleteFileAt(path.c_str());
    ASSERT_TRUE(platform::CreateNew(path.c_str(), h)) << path;
    ASSERT_TRUE(platform::Write(h.Get(), content.data(), static_cast<DWORD>(content.size()))) << path;
}

std::string ReadText(const std::string& path) {
    platform::Handle h;
    if (!platform::OpenRead(path.c_str(), h)) return "<missing>";
    std::string out;
    char buf[4096];
    DWORD got = 0;
    while (platform::Read(h.Get(), buf, sizeof buf, &got) && got > 0) out.append(buf, got);
    return out;
}

bool Exists(const std::string& path) { return platform::PathExists(path.c_str()); }
bool IsDir(const std::string& path) { return platform::IsFolder(path.c_str()); }
void MakeDir(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        platform::CreateFolder(path.substr(0, at).c_str());
    ASSERT_TRUE(platform::CreateFolder(path.c_str()) || IsDir(path)) << path;
}

void MakeTree(const std::string& root, const std::vector<std::string>& entries) {
    for (const std::string& e : entries) {
        size_t eq = e.find('=');
        std::string path = (e.size() > 1 && e[1] == ':' ? "" : root + "\\") + e.substr(0, eq);
        if (eq == std::string::npos)
            MakeDir(path.substr(0, path.size() - 1));
        else
            WriteText(path, e.substr(eq + 1));
    }
}

// Under Wine a Windows program can start a host program; this is how the
// tests make and remove host symbolic links, which Wine's own calls cannot.
static std::string HostPath(const std::string& path) {
    using Convert = char*(CDECL*)(LPCWSTR);
    auto convert =
        reinterpret_cast<Convert>(::GetProcAddress(::GetModuleHandleA("kernel32"), "wine_get_unix_file_name"));
    std::wstring wide;
    if (!convert || !platform::ToWide(path.c_str(), wide)) return "";
    char* host = convert(wide.c_str());
    std::string out = host ? host : "";
    ::HeapFree(::GetProcessHeap(), 0, host);
    return out;
}

static void RunHost(std::string line) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
    ::WaitForSingleObject(pi.hProcess, 10000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
}

void MakeFolderLink(const std::string& link, const std::string& target) {
    if (!::CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) ||
        !platform::IsFolderLink(link.c_str()))
        RunHost("/bin/ln -s \"" + HostPath(target) + "\" \"" + HostPath(link) + "\"");
    // The handle of a host program may be signalled before it has run.
    for (int i = 0; i < 100 && !platform::IsFolderLink(link.c_str()); ++i) ::Sleep(50);
    ASSERT_TRUE(platform::IsFolderLink(link.c_str())) << link;
}

// The host symbolic links to files that MakeFileLink made in this test.
// Asked to delete such a link, Wine deletes the file it leads to (it acts on
// the link's resolved name), so RemoveAll removes these through the host.
static std::vector<std::string> g_hostFileLinks;

void MakeFileLink(const std::string& link, const std::string& target, bool symbolic) {
    ASSERT_FALSE(Exists(link)) << link;
    bool made = symbolic ? ::CreateSymbolicLinkA(link.c_str(), target.c_str(), 0) != 0
                         : ::CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != 0;
    bool same = false;
    // Wine reports a symbolic link made that is not there.
    if (!made || !platform::SameFile(link.c_str(), target.c_str(), &same))
        RunHost(std::string(symbolic ? "/bin/ln -s \"" : "/bin/ln \"") + HostPath(target) + "\" \"" + HostPath(link) +
                "\"");
    // Either way it is a host link below Wine: Wine's own CreateSymbolicLink
    // makes one too, and deletes its target when asked to delete it.
    if (symbolic) g_hostFileLinks.push_back(link);
    for (int i = 0; i < 100 && !platform::SameFile(link.c_str(), target.c_str(), &same); ++i) ::Sleep(50);
    ASSERT_TRUE(platform::SameFile(link.c_str(), target.c_str(), &same) && same) << link;
}

std::string ProblemLine(const std::string& item, const std::string& target, const std::string& why,
                        unsigned long error) {
    return item + " > " + target + ": " + why + " #" + std::to_string(error);
}

std::string CurrentDir() {
    std::string dir;
    return platform::GetCurrentFolder(dir) ? dir : "<unknown>";
}

std::string ProgramFolder() {
    char self[MAX_PATH];
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self);
    return dir.substr(0, dir.rfind('\\'));
}

Names ListNames(const std::string& folder, bool dotNames) {
    Names names;
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First((folder + "\\*.*").c_str(), &e)) return names;
    do {
        if (e.name[0] != '.' || (dotNames && e.name != "." && e.name != "..")) names.push_back(e.name);
    } while (walk.Next(&e));
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveAll(const std::string& path) {
    for (size_t i = g_hostFileLinks.size(); i-- > 0;) {
        const std::string& link = g_hostFileLinks[i];
        if (link.compare(0, path.size(), path) != 0 || (link.size() > path.size() && link[path.size()] != '\\'))
            continue;
        RunHost("/bin/rm -f \"" + HostPath(link) + "\"");
        // As when making one: the host program may not have run yet.
        for (int k = 0; k < 100 && Exists(link); ++k) ::Sleep(50);
        g_hostFileLinks.erase(g_hostFileLinks.begin() + i);
    }
    if (platform::IsFolderLink(path.c_str())) {
        if (!platform::RemoveFolderLink(path.c_str())) RunHost("/bin/rm \"" + HostPath(path) + "\"");
        for (int i = 0; i < 100 && platform::IsFolderLink(path.c_str()); ++i) ::Sleep(50);
        return;
    }
    if (!IsDir(path)) {
        platform::SetReadOnly(path.c_str(), false);
        platform::DeleteFileAt(path.c_str());
        return;
    }
    for (const std::string& n : ListNames(path, true)) RemoveAll(path + "\\" + n);
    platform::RemoveFolder(path.c_str());
}

unsigned long long WriteTime(const std::string& path) {
    platform::Handle h;
    FILETIME c, a, w;
    if (!platform::OpenRead(path.c_str(), h) || !platform::GetTimes(h.Get(), &c, &a, &w)) return 0;
    return (static_cast<unsigned long long>(w.dwHighDateTime) << 32) | w.dwLowDateTime;
}

void SetWriteTime(const std::string& path, unsigned long long t) {
    platform::Handle h;
    ASSERT_TRUE(platform::OpenExistingReadWrite(path.c_str(), h)) << path;
    FILETIME w{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
    ASSERT_TRUE(platform::SetTimes(h.Get(), nullptr, nullptr, &w)) << path;
}

void Scratch::SetUp() {
    ASSERT_TRUE(platform::EnvironmentValue("TMP", base_));
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root = base_ + "\\dv-scratch\\" + info->test_suite_name() + "." + info->name();
    RemoveAll(root);
    MakeDir(root);
    ASSERT_TRUE(platform::SetCurrentFolder(root.c_str()));
    g_hostFileLinks.clear();
    g_boxes.clear();
    g_asked.clear();
    g_answers.clear();
    platform::SetMessageHook(RecordBox);
    platform::SetOpenFileHook(AnswerOpenFile);
}

void Scratch::TearDown() {
    platform::SetMessageHook(nullptr);
    platform::SetOpenFileHook(nullptr);
    platform::SetCurrentFolder(base_.c_str());
    RemoveAll(root);
}

std::vector<std::string> Scratch::BoxTexts() const {
    std::vector<std::string> texts;
    for (const Box& b : g_boxes) {
        EXPECT_EQ(b.owner, kOwner) << b.text;
        texts.push_back(b.text);
    }
    return texts;
}
