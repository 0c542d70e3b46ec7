#include "platform/file_replace.h"
#include <windows.h>

namespace platform {

bool MoveFileReplacing(const char* from, const char* to) {
    return ::MoveFileExA(from, to, MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING) != 0;
}

bool CopyFileReplacing(const char* from, const char* to) {
    return ::CopyFileA(from, to, FALSE) != 0;
}

}  // namespace platform
