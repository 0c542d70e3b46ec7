#include "platform/error.h"

namespace platform {

std::string ErrorDescription(DWORD code) {
    char text[512];
    DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ')) --n;
    if (n == 0) return "error " + std::to_string(code);
    return std::string(text, n);
}

}  // namespace platform

namespace platform {

DWORD LastError() { return ::GetLastError(); }
void SetLastErrorCode(DWORD code) { ::SetLastError(code); }

}  // namespace platform
