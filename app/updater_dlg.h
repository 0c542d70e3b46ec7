// The updater's one window: the modal main dialog of template IDD_UPDATER.
#pragma once
#include <string>
#include "app/startup.h"
#include "platform/dialog.h"

namespace app {

class CUpdaterDlg : public platform::Dialog {
public:
    // `folder`: the install folder given with "/dir", or empty.
    explicit CUpdaterDlg(const std::string& folder);

protected:
    bool OnInitDialog() override;
    bool OnCommand(int id, int notifyCode) override;
    void OnTimer(UINT_PTR id) override;
    bool OnPaint() override;
    bool OnSysCommand(WPARAM command) override;
    HICON OnQueryDragIcon() override;

private:
    bool InitializeDialog();
    void ActOnStartup(StartupResult result);
    void OnChangeFolder();
    void PaintMinimised(HDC dc);

    HICON icon_;  // icon 128, shared by the system: never freed
    std::string folder_;
};

// Where a minimised window draws its icon: centred, divisions truncated.
int CentredIconOrigin(int clientExtent, int iconExtent);

}  // namespace app
