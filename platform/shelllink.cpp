#include "platform/shelllink.h"
#include <string>
#include "platform/utf.h"

namespace platform {

// Leaves a failed COM result where the error convention puts codes.
static bool Succeeded(HRESULT hr) {
    if (SUCCEEDED(hr)) return true;
    ::SetLastError(static_cast<DWORD>(hr));
    return false;
}

// The UTF-16 form of a UTF-8 text, or a COM failure.
static bool Wide(const char* text, std::wstring& out) {
    if (ToWide(text, out)) return true;
    ::SetLastError(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION)));
    return false;
}

// A link path as the persistence interface takes it. Fails on a path that
// does not fit MAX_PATH UTF-16 units with the NUL.
static bool WidePath(const char* path, std::wstring& out) {
    if (!Wide(path, out)) return false;
    if (out.size() < MAX_PATH) return true;
    ::SetLastError(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)));
    return false;
}

// The object's UTF-16 answer as UTF-8, or a COM failure.
static bool Answer(const wchar_t* text, std::string& out) {
    if (ToUtf8(text, std::char_traits<wchar_t>::length(text), out)) return true;
    ::SetLastError(static_cast<DWORD>(HRESULT_FROM_WIN32(::GetLastError())));
    return false;
}

bool ShellLink::Create() {
    file_.Reset();
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link_.OutVoid());
    if (!Succeeded(hr)) return false;
    hr = link_->QueryInterface(IID_IPersistFile, file_.OutVoid());
    if (Succeeded(hr)) return true;
    link_.Reset();
    return false;
}

bool ShellLink::SetPath(const char* target) {
    std::wstring w;
    return Wide(target, w) && Succeeded(link_->SetPath(w.c_str()));
}

bool ShellLink::SetDescription(const char* description) {
    std::wstring w;
    return Wide(description, w) && Succeeded(link_->SetDescription(w.c_str()));
}

bool ShellLink::Save(const char* linkPath) {
    std::wstring wide;
    if (!WidePath(linkPath, wide)) return false;
    return Succeeded(file_->Save(wide.c_str(), TRUE));
}

bool ShellLink::Load(const char* linkPath) {
    std::wstring wide;
    if (!WidePath(linkPath, wide)) return false;
    return Succeeded(file_->Load(wide.c_str(), STGM_READ));
}

// The link object holds at most 1024 units (INFOTIPSIZE) of either field.
constexpr int kFieldUnits = 1024;
bool ShellLink::GetPath(std::string& out) {
    out.clear();
    wchar_t w[kFieldUnits] = L"";
    return Succeeded(link_->GetPath(w, kFieldUnits, nullptr, SLGP_RAWPATH)) && Answer(w, out);
}

bool ShellLink::GetDescription(std::string& out) {
    out.clear();
    wchar_t w[kFieldUnits] = L"";
    return Succeeded(link_->GetDescription(w, kFieldUnits)) && Answer(w, out);
}

}  // namespace platform
