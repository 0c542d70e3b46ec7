// Message boxes. Every box the updater shows goes through ShowMessage, so a
// test can take the boxes' place with a hook that records them and answers.
#pragma once
#include <windows.h>

namespace platform {

// Shows a modal message box (MessageBoxW; the texts are UTF-8) and returns
// the button pressed.
int ShowMessage(HWND owner, const char* text, const char* title, UINT flags);

// A hook receives every box instead of the screen and returns the answer.
// Pass null to show real boxes again.
using MessageHook = int (*)(HWND owner, const char* text, const char* title, UINT flags);
void SetMessageHook(MessageHook hook);

}  // namespace platform
