#include "app/updater_dlg.h"
#include "app/about_dlg.h"
#include "app/fault.h"
#include "app/sequencer.h"
#include "app/special_folders.h"
#include "app/startup.h"
#include "app/startup_error.h"
#include "common/ids.h"
#include "common/state.h"
#include "locate/discovery.h"
#include "platform/handles.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "platform/window.h"

namespace app {
using namespace common;
using namespace locate;

static const UINT_PTR kTimerId = 1;
// Short: the next phase starts on the tick after one ends.
static const UINT kTimerPeriodMs = 100;
// The message control is the fifth control of IDD_UPDATER.
static const int kMessageControlIndex = 4;

CUpdaterDlg::CUpdaterDlg(const std::string& folder)
    : platform::Dialog(IDD_UPDATER), icon_(platform::LoadAppIcon(IDI_UPDATER)), folder_(folder) {}

bool CUpdaterDlg::OnInitDialog() { return InitializeDialog(); }

bool CUpdaterDlg::InitializeDialog() {
    HWND dialog = Window();
    std::string about = platform::LoadText(IDS_ABOUTBOX);
    // Fails harmlessly on a window without a system menu.
    if (!about.empty()) platform::AppendSystemMenuItem(dialog, IDM_ABOUTBOX, about.c_str());
    platform::SetWindowIcons(dialog, icon_, icon_);
    ActOnStartup(PrepareStartup(RunningExecutable().c_str(), folder_.c_str()));
    // These run whatever the start-up said, each with its own message.
    InitializeServices(dialog);
    return true;
}

void CUpdaterDlg::ActOnStartup(StartupResult result) {
    HWND dialog = Window();
    switch (result) {
    case StartupResult::kReady:
        if (Faulted("timer") || !platform::StartTimer(dialog, kTimerId, kTimerPeriodMs))
            ShowErrorAndEnd(dialog, "No timer available.", Ending::kInitFailed);
        // An update under way is finished before any other.
        if (g_state.resumed) platform::EnableControl(dialog, IDC_CHANGE_FOLDER, false);
        break;
    case StartupResult::kDamagedRecord:
        ShowErrorAndEnd(dialog, DamagedRecordText().c_str(), Ending::kDamagedRecord);
        break;
    case StartupResult::kBadBuild: ShowErrorAndEnd(dialog, "Bad updater build.", Ending::kBadBuild); break;
    case StartupResult::kProfilesDisagree:
        ShowErrorAndEnd(dialog, g_state.failure.c_str(), Ending::kCannotUpdate);
        break;
    case StartupResult::kNoFolder:
        // The dialog stays open without a payload: "Begin Update" is not
        // offered, now or after "Change folder".
        ShowStartupMessage(dialog, "Initialization error");
        g_state.ending = Ending::kInitFailed;
        platform::EnableControl(dialog, IDOK, false);
        break;
    case StartupResult::kNotFound:  // the user has been asked already
        if (!g_state.quitting) g_state.ending = Ending::kNotFound;
        g_state.quitting = true;
        platform::EndDialogWith(dialog, IDCANCEL);
        break;
    }
}

void CUpdaterDlg::OnChangeFolder() {
    HWND dialog = Window();
    std::string folder;
    if (!g_state.recordPath.empty() || !AskInstallFolder(dialog, folder) || !AcceptInstallFolder(folder)) return;
    platform::InvalidateAll(dialog);
    platform::EnableControl(dialog, IDOK, g_state.payloadReady);
}

bool CUpdaterDlg::OnCommand(int id, int notifyCode) {
    HWND dialog = Window();
    switch (id) {
    case IDOK: BeginUpdate(dialog); return true;
    case IDC_CHANGE_FOLDER: OnChangeFolder(); return true;
    case IDCANCEL: CancelOrQuit(dialog); return true;
    }
    return false;
}

void CUpdaterDlg::OnTimer(UINT_PTR) { TimerTick(Window()); }

bool CUpdaterDlg::OnSysCommand(WPARAM command) {
    // Ids 16 to 31 all mean the About item; the system keeps the low four
    // bits of a command for itself.
    if ((command & 0xFFF0) != IDM_ABOUTBOX) return false;
    CAboutDlg about;
    about.RunModal(Window());
    return true;
}

HICON CUpdaterDlg::OnQueryDragIcon() { return icon_; }

int CentredIconOrigin(int clientExtent, int iconExtent) { return (clientExtent - iconExtent + 1) / 2; }

void CUpdaterDlg::PaintMinimised(HDC dc) {
    HWND dialog = Window();
    platform::EraseIconBackground(dialog, dc);
    int cw = 0, ch = 0, iw = 0, ih = 0;
    platform::ClientSize(dialog, &cw, &ch);
    platform::SystemIconSize(&iw, &ih);
    platform::DrawIconAt(dc, CentredIconOrigin(cw, iw), CentredIconOrigin(ch, ih), icon_);
}

bool CUpdaterDlg::OnPaint() {
    HWND dialog = Window();
    platform::Paint paint(dialog);
    if (platform::IsMinimised(dialog)) {
        PaintMinimised(paint.Dc());
        return true;
    }
    // Every change of the message invalidates the dialog; this is where the
    // new text reaches the screen, also after a change while minimised.
    if (HWND text = platform::NthChild(dialog, kMessageControlIndex)) {
        platform::SetWindowTextOf(text, g_state.message.c_str());
        platform::InvalidateAll(text);
    }
    return true;
}

}  // namespace app
