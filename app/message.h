// The main dialog's message (g_state.message), composed in one place.
#pragma once
#include <windows.h>

namespace app {

// Sets the message to string `id` with `folder` put in for its "%s", then
// the diagnostic suffix. The dialog shows it on its next paint.
void SetDialogMessage(UINT id, const char* folder);

// In diagnostic mode, with a shared folder known, appends to g_state.message
// two spaces and (Vantor folder is "<sharedFolder>"). Otherwise does nothing.
void AppendDiagnosticSuffix();

}  // namespace app
