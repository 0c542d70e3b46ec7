#include "platform/error.h"
#include "platform/utf.h"

namespace platform {

std::string ErrorDescription(DWORD code) {
    wchar_t text[512];
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512,
                               nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    std::string out;
    if (n == 0 || !ToUtf8(text, n, out)) return "error " + std::to_string(code);
    return out;
}

}  // namespace platform

namespace platform {

DWORD LastError() { return ::GetLastError(); }
void SetLastErrorCode(DWORD code) { ::SetLastError(code); }

}  // namespace platform
