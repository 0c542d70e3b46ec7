#include "platform/volume.h"
#include <windows.h>
#include <vector>
#include "platform/utf.h"

namespace platform {

bool VolumeOf(const char* path, std::string& root) {
    root.clear();
    std::wstring w;
    if (!ToWide(path, w)) return false;
    std::vector<wchar_t> out(w.size() + MAX_PATH + 2);
    if (!::GetVolumePathNameW(w.c_str(), out.data(), static_cast<DWORD>(out.size()))) return false;
    return FromWidePath(out.data(), std::char_traits<wchar_t>::length(out.data()), root);
}

bool FreeBytes(const char* path, uint64_t* bytes) {
    *bytes = 0;
    std::string root;
    std::wstring w;
    if (!VolumeOf(path, root) || !ToWidePath(root.c_str(), w)) return false;
    ULARGE_INTEGER avail;
    if (!::GetDiskFreeSpaceExW(w.c_str(), &avail, nullptr, nullptr)) return false;
    *bytes = avail.QuadPart;
    return true;
}

}  // namespace platform
