#include "app/updater_app.h"
#include "app/updater_dlg.h"
#include "platform/dialog.h"

int CUpdaterApp::Run() {
    // The controls' look comes from the manifest (common controls 6); the
    // progress-bar class still has to be registered.
    platform::InitDialogControls();
    CUpdaterDlg dialog;
    return static_cast<int>(dialog.RunModal(nullptr));
}
