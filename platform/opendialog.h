// The common open-file dialog. Every such dialog goes through AskOpenFile, so
// a test can take the user's place with a hook, as with message boxes.
#pragma once
#include <windows.h>
#include <string>

namespace platform {

// Shows GetOpenFileNameW (all texts UTF-8) with one filter entry whose text and pattern are
// both `pattern`, the initial file name `initialName`, the title `title` and
// the options "path must exist" and "file must exist". On true, `out` holds
// the chosen path in UTF-8 (any length Windows allows). On false the user
// cancelled or the dialog failed: GetLastError() holds CommDlgExtendedError()
// (0 for a cancel).
bool AskOpenFile(HWND owner, const char* title, const char* pattern, const char* initialName, std::string& out);

// A hook receives every request instead of the screen. It returns true and
// fills `out` to confirm, or false to cancel. Null restores the real dialog.
using OpenFileHook = bool (*)(HWND owner, const char* title, const char* pattern, const char* initialName,
                              std::string& out);
void SetOpenFileHook(OpenFileHook hook);

}  // namespace platform
