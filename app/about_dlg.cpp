#include "app/about_dlg.h"
#include "app/resource.h"

// OK and Cancel close it through the base class; nothing else to handle.
CAboutDlg::CAboutDlg() : platform::Dialog(IDD_ABOUTBOX) {}
