#include <windows.h>
#include "app/updater_app.h"

// The one application object. There is no message loop besides the
// dialog's: the process ends when the dialog closes.
static app::CUpdaterApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return theApp.Run(); }
