#include "app/diagnostic.h"
#include "common/state.h"

void AppendDiagnosticSuffix() {
    // Callers also test the flag; testing it here as well keeps a stray call
    // from changing what a user sees outside diagnostic mode.
    if (!g_state.diagnostic || g_state.sharedFolder[0] == 0) return;
    g_state.message += "  (Vantor folder is \"";
    g_state.message += g_state.sharedFolder;
    g_state.message += "\").";
}
