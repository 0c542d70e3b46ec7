#include "platform/msgbox.h"

namespace platform {

static MessageHook g_hook = nullptr;

void SetMessageHook(MessageHook hook) { g_hook = hook; }

int ShowMessage(HWND owner, const char* text, const char* title, UINT flags) {
    if (g_hook) return g_hook(owner, text, title, flags);
    return ::MessageBoxA(owner, text, title, flags);
}

}  // namespace platform
