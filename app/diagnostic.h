// The diagnostic suffix of the dialog's message.
#pragma once

// In diagnostic mode, with a shared folder known, appends to g_state.message
// two spaces and (Vantor folder is "<sharedFolder>"). Otherwise does nothing.
void AppendDiagnosticSuffix();
