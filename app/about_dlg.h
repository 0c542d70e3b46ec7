// The About box (template IDD_ABOUTBOX): icon, name and version, OK.
#pragma once
#include "platform/dialog.h"

class CAboutDlg : public platform::Dialog {
public:
    CAboutDlg();
};
