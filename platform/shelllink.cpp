#include "platform/shelllink.h"
#include <cstring>

namespace platform {

// Leaves a failed COM result where the error convention puts codes.
static bool Succeeded(HRESULT hr) {
    if (SUCCEEDED(hr)) return true;
    ::SetLastError(static_cast<DWORD>(hr));
    return false;
}

// A link path as the persistence interface takes it. Fails on a path that
// does not fit MAX_PATH UTF-16 units with the NUL.
static bool WidePath(const char* path, wchar_t* out, int cap) {
    if (::MultiByteToWideChar(CP_ACP, 0, path, -1, out, cap) != 0) return true;
    ::SetLastError(static_cast<DWORD>(HRESULT_FROM_WIN32(::GetLastError())));
    return false;
}

bool ShellLink::Create() {
    file_.Reset();
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    link_.OutVoid());
    if (!Succeeded(hr)) return false;
    hr = link_->QueryInterface(IID_IPersistFile, file_.OutVoid());
    if (Succeeded(hr)) return true;
    link_.Reset();
    return false;
}

bool ShellLink::SetPath(const char* target) { return Succeeded(link_->SetPath(target)); }

bool ShellLink::SetDescription(const char* description) {
    return Succeeded(link_->SetDescription(description));
}

bool ShellLink::Save(const char* linkPath) {
    wchar_t wide[MAX_PATH];
    if (!WidePath(linkPath, wide, MAX_PATH)) return false;
    return Succeeded(file_->Save(wide, TRUE));
}

bool ShellLink::Load(const char* linkPath) {
    wchar_t wide[MAX_PATH];
    if (!WidePath(linkPath, wide, MAX_PATH)) return false;
    return Succeeded(file_->Load(wide, STGM_READ));
}

bool ShellLink::GetPath(char* out, int cap) {
    out[0] = 0;
    return Succeeded(link_->GetPath(out, cap, nullptr, SLGP_RAWPATH));
}

bool ShellLink::GetDescription(char* out, int cap) {
    out[0] = 0;
    return Succeeded(link_->GetDescription(out, cap));
}

}  // namespace platform
