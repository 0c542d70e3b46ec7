// The About box (template IDD_ABOUTBOX): icon, name and version, OK.
#pragma once
#include "platform/dialog.h"

namespace app {

class CAboutDlg : public platform::Dialog {
public:
    CAboutDlg();
};

}  // namespace app
