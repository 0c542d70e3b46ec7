#include "platform/file_replace.h"
#include <windows.h>
#include "platform/utf.h"

namespace platform {

bool MoveFileReplacing(const char* from, const char* to) {
    std::wstring f, t;
    return ToWidePath(from, f) && ToWidePath(to, t) &&
           ::MoveFileExW(f.c_str(), t.c_str(),
                         MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace platform
