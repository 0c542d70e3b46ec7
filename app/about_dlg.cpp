#include "app/about_dlg.h"
#include "common/ids.h"

namespace app {

// OK and Cancel close it through the base class; nothing else to handle.
CAboutDlg::CAboutDlg() : platform::Dialog(IDD_ABOUTBOX) {}

}  // namespace app
