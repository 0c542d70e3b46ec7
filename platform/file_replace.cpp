#include "platform/file_replace.h"
#include <windows.h>
#include "platform/utf.h"

namespace platform {

// A file just written or about to be replaced is often opened for a moment
// by a virus scanner, the search indexer or the shell reading a link's icon:
// a move that meets such a hold is tried again for about half a second
// before its error stands. A held destination shows as a sharing violation
// or, since the replace needs to delete it, as access denied; a denial that
// lasts (no right, a read-only file) costs that half second once.
static const int kHeldTries = 10;
static const DWORD kHeldWaitMs = 50;

bool MoveFileReplacing(const char* from, const char* to) {
    std::wstring f, t;
    if (!ToWidePath(from, f) || !ToWidePath(to, t)) return false;
    for (int attempt = 1;; ++attempt) {
        if (::MoveFileExW(f.c_str(), t.c_str(),
                          MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = ::GetLastError();
        bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
        if (!held || attempt == kHeldTries) return false;
        ::Sleep(kHeldWaitMs);
        ::SetLastError(error);
    }
}

}  // namespace platform
