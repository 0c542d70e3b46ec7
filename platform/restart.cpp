#include "platform/restart.h"
#include <windows.h>
#include <restartmanager.h>
#include "platform/utf.h"

namespace platform {

namespace {

using StartFn = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using EndFn = DWORD(WINAPI*)(DWORD);
using RegisterFn = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using ListFn = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);

struct RestartManager {
    StartFn start = nullptr;
    EndFn end = nullptr;
    RegisterFn add = nullptr;
    ListFn list = nullptr;
};

// Loaded once, never unloaded: the functions are wanted for the life of the
// process and the library is the system's own.
const RestartManager& Load() {
    static const RestartManager rm = [] {
        RestartManager r;
        HMODULE lib = ::LoadLibraryExW(L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!lib) return r;
        r.start = reinterpret_cast<StartFn>(::GetProcAddress(lib, "RmStartSession"));
        r.end = reinterpret_cast<EndFn>(::GetProcAddress(lib, "RmEndSession"));
        r.add = reinterpret_cast<RegisterFn>(::GetProcAddress(lib, "RmRegisterResources"));
        r.list = reinterpret_cast<ListFn>(::GetProcAddress(lib, "RmGetList"));
        return r;
    }();
    return rm;
}

}  // namespace

bool ProgramsUsing(const std::vector<std::string>& files, std::vector<std::string>& programs) {
    programs.clear();
    const RestartManager& rm = Load();
    if (!rm.start || !rm.end || !rm.add || !rm.list || files.empty()) return true;
    std::vector<std::wstring> wide(files.size());
    std::vector<LPCWSTR> names;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!ToWidePath(files[i].c_str(), wide[i])) return false;
        names.push_back(wide[i].c_str());
    }
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = L"";
    if (rm.start(&session, 0, key) != ERROR_SUCCESS) return true;
    std::vector<RM_PROCESS_INFO> info;
    UINT needed = 0, have = 0;
    DWORD reasons = 0, rc = rm.add(session, static_cast<UINT>(names.size()), names.data(), 0, nullptr, 0, nullptr);
    for (int attempt = 0; rc == ERROR_SUCCESS && attempt < 4; ++attempt) {
        have = static_cast<UINT>(info.size());
        rc = rm.list(session, &needed, &have, info.data(), &reasons);
        if (rc != ERROR_MORE_DATA) break;
        info.resize(needed + 4);
        rc = ERROR_SUCCESS;
    }
    rm.end(session);
    if (rc != ERROR_SUCCESS) return true;
    for (UINT i = 0; i < have && i < info.size(); ++i) {
        std::string name;
        if (ToUtf8(info[i].strAppName, std::char_traits<wchar_t>::length(info[i].strAppName), name) && !name.empty())
            programs.push_back(name);
    }
    return true;
}

}  // namespace platform
