// The About box (template 100): icon, name and version, OK.
#pragma once
#include "platform/dialog.h"

class CAboutDlg : public platform::Dialog {
public:
    CAboutDlg();
};
