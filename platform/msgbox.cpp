#include "platform/msgbox.h"
#include "platform/utf.h"

namespace platform {

static MessageHook g_hook = nullptr;

void SetMessageHook(MessageHook hook) { g_hook = hook; }

int ShowMessage(HWND owner, const char* text, const char* title, UINT flags) {
    if (g_hook) return g_hook(owner, text, title, flags);
    return ::MessageBoxW(owner, WideOrEmpty(text).c_str(), WideOrEmpty(title).c_str(), flags);
}

}  // namespace platform
