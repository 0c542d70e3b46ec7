#include "app/startup_error.h"
#include "common/event_log.h"
#include "platform/file.h"
#include "platform/msgbox.h"
#include "platform/window.h"
#include <cstring>

namespace app {
using namespace common;

// The part of `path` after the last '\' or '/', up to the last '.' of that name.
static std::string NameWithoutExtension(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    const char* dot = std::strrchr(name, '.');
    return dot ? std::string(name, static_cast<size_t>(dot - name)) : std::string(name);
}

std::string ApplicationName() {
    std::string path;
    if (!platform::ModulePath(path)) return std::string();
    return NameWithoutExtension(path.c_str());
}

void ShowStartupMessage(HWND dialog, const char* text) {
    std::string title = ApplicationName();
    platform::ShowMessage(dialog, text, title.c_str(), MB_OK);
}

void ShowErrorAndEnd(HWND dialog, const char* text, Ending ending) {
    LogEvent(std::string("start-up: ") + text);
    if (!g_state.quitting) g_state.ending = ending;
    g_state.quitting = true;
    ShowStartupMessage(dialog, text);
    if (dialog) platform::EndDialogWith(dialog, IDCANCEL);
}

}  // namespace app
