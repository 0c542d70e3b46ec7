// "patch.exe": the engine's command-line shell. It loads "patchw32.dll" from
// its own folder by full path (never through the DLL search order, so a
// planted DLL in the working folder is not picked up) and hands it the
// command line. When the library cannot be used it writes the failure to
// the log itself, so a caller reading "patch.err" still learns of it.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "api.h"
#include "owners.h"
#include "winfile.h"

namespace {

constexpr int kExitNoLibrary = 4;

std::wstring OwnFolder() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return std::wstring();
        if (n < buf.size()) {
            std::wstring path(buf.data(), n);
            size_t cut = path.find_last_of(L"\\/");
            return cut == std::wstring::npos ? std::wstring(L".") : path.substr(0, cut);
        }
        buf.resize(buf.size() * 2);
    }
}

// Where the program's own name ends in the command line. A caller may leave
// it unquoted although it holds spaces ("C:\Documents and Settings\...
// \patch.exe -e ..."), which the usual splitting would cut into words that
// look like file names. Unquoted, the name is the shortest prefix ending in
// ".exe" that names an existing file, failing that the first word.
size_t ProgramNameEnd(const std::wstring& line) {
    if (!line.empty() && line[0] == L'"') {
        size_t quote = line.find(L'"', 1);
        return quote == std::wstring::npos ? line.size() : quote + 1;
    }
    for (size_t blank = line.find_first_of(L" \t");; blank = line.find_first_of(L" \t", blank + 1)) {
        size_t end = blank == std::wstring::npos ? line.size() : blank;
        if (end >= 4 && ::lstrcmpiW(line.substr(end - 4, 4).c_str(), L".exe") == 0) {
            DWORD a = ::GetFileAttributesW(line.substr(0, end).c_str());
            if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) return end;
        }
        if (blank == std::wstring::npos) break;
    }
    size_t blank = line.find_first_of(L" \t");
    return blank == std::wstring::npos ? line.size() : blank;
}

bool WantsLogFile(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; i++)
        if (::lstrcmpiW(argv[i], L"-e") == 0) return true;
    return false;
}

// The DLL is what normally logs; this is the one failure it cannot report.
void ReportNoLibrary(const std::wstring& dll, DWORD code, bool toFile) {
    std::string line = " (system error " + std::to_string(code) + ")\r\n";
    std::string text = "wpt0010 engine library cannot be loaded: ";
    int n = ::WideCharToMultiByte(CP_UTF8, 0, dll.c_str(), int(dll.size()), nullptr, 0, nullptr, nullptr);
    std::string name(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(CP_UTF8, 0, dll.c_str(), int(dll.size()), &name[0], n, nullptr, nullptr);
    text += name + line + "wpt0036 the update did not complete\r\n";
    DWORD put;
    ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), text.data(), DWORD(text.size()), &put, nullptr);
    if (!toFile) return;
    // A new file, as the library makes it (Log::OpenFile): the old log goes
    // by its name first; a link at that name is left alone, and no log made.
    std::vector<wchar_t> full(32768);
    DWORD got = ::GetFullPathNameW(L"patch.err", DWORD(full.size()), full.data(), nullptr);
    std::wstring path(full.data(), got < full.size() ? got : 0);
    if (path.empty() || eng::IsLink(path) || !eng::ForceDelete(path)) return;
    eng::Handle log(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (log.Valid()) ::WriteFile(log.Get(), text.data(), DWORD(text.size()), &put, nullptr);
}

}  // namespace

int main() {
    std::wstring line = ::GetCommandLineW();
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW((L"patch" + line.substr(ProgramNameEnd(line))).c_str(), &argc);
    if (!argv) return kExitNoLibrary;
    eng::LocalMem argvOwner(argv);
    std::wstring folder = OwnFolder();
    std::wstring dll = folder + L"\\patchw32.dll";
    eng::Module lib(::LoadLibraryExW(dll.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    auto run = lib.Get() ? reinterpret_cast<PatchRunWFn>(::GetProcAddress(lib.Get(), PATCH_RUN_EXPORT)) : nullptr;
    if (!run) {
        ReportNoLibrary(dll, ::GetLastError(), WantsLogFile(argc, argv));
        return kExitNoLibrary;
    }
    return run(argc - 1, argv + 1, folder.c_str());
}
