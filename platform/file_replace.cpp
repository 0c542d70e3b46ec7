#include "platform/file_replace.h"
#include <windows.h>
#include "platform/utf.h"

namespace platform {

bool MoveFileReplacing(const char* from, const char* to) {
    std::wstring f, t;
    return ToWide(from, f) && ToWide(to, t) &&
           ::MoveFileExW(f.c_str(), t.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CopyFileReplacing(const char* from, const char* to) {
    std::wstring f, t;
    return ToWide(from, f) && ToWide(to, t) && ::CopyFileW(f.c_str(), t.c_str(), FALSE) != 0;
}

}  // namespace platform
