#include "app/message.h"
#include "common/state.h"
#include "platform/strings.h"

namespace app {
using namespace common;

void SetDialogMessage(UINT id, const char* folder) {
    g_state.message = platform::FormatText(platform::LoadText(id), folder);
    AppendDiagnosticSuffix();
}

void AppendDiagnosticSuffix() {
    if (!g_state.diagnostic || g_state.sharedFolder[0] == 0) return;
    g_state.message += "  (Vantor folder is \"";
    g_state.message += g_state.sharedFolder;
    g_state.message += "\").";
}

}  // namespace app
