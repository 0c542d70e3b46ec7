#include "app/updater_dlg.h"
#include "app/about_dlg.h"
#include "app/command_line.h"
#include "app/fault.h"
#include "common/ids.h"
#include "app/special_folders.h"
#include "app/startup_error.h"
#include "app/sequencer.h"
#include "common/state.h"
#include "locate/discovery.h"
#include "payload/prepare.h"
#include "platform/handles.h"
#include "platform/shell.h"
#include "platform/strings.h"
#include "platform/window.h"

static const UINT_PTR kTimerId = 1;
static const UINT kTimerPeriodMs = 1000;
// The message control is the fifth control of template 102.
static const int kMessageControlIndex = 4;

CUpdaterDlg::CUpdaterDlg()
    : platform::Dialog(IDD_UPDATER), icon_(platform::LoadAppIcon(IDI_UPDATER)) {}

bool CUpdaterDlg::OnInitDialog() { return InitializeDialog(); }

bool CUpdaterDlg::InitializeDialog() {
    HWND dialog = Window();
    std::string about = platform::LoadText(IDS_ABOUTBOX);
    // Fails harmlessly on a window without a system menu.
    if (!about.empty()) platform::AppendSystemMenuItem(dialog, IDM_ABOUTBOX, about.c_str());
    platform::SetWindowIcons(dialog, icon_, icon_);
    ParseCommandLine();
    ActOnPreparation(PrepareUpdate());

    // These run whatever the preparation said, each with its own message.
    if (Faulted("com")) platform::InitializeCom();  // a second call below then finds COM initialised
    if (!platform::InitializeCom())
        ShowErrorAndEnd(dialog, "Can't initialize COM.", 5);
    if (!GetStartMenuProgramsFolder(dialog))
        ShowErrorAndEnd(dialog, "Can't get Start Menu location.", 5);
    if (!GetDesktopFolder(dialog))
        ShowErrorAndEnd(dialog, "Can't get Desktop folder location.", 5);
    return true;
}

void CUpdaterDlg::ActOnPreparation(int code) {
    HWND dialog = Window();
    switch (code) {
    case kPrepareReady:
        if (Faulted("timer") || !platform::StartTimer(dialog, kTimerId, kTimerPeriodMs))
            ShowErrorAndEnd(dialog, "No timer available.", 5);
        break;
    case kPrepareBadEngine:
    case kPrepareBadPatch:
        ShowErrorAndEnd(dialog, "Bad updater build.", code);
        break;
    case kPrepareNoTempName:
        // The dialog stays open without a timer, so a run could never be
        // followed to its end: "Begin Update" is not offered.
        ShowStartupMessage(dialog, "Initialization error");
        platform::EnableControl(dialog, IDOK, false);
        break;
    default:  // kPrepareNotFound: the user has been asked already
        platform::EndDialogWith(dialog, 0);
        break;
    }
}

bool CUpdaterDlg::OnCommand(int id, int notifyCode) {
    HWND dialog = Window();
    switch (id) {
    case IDOK: BeginUpdate(dialog); return true;
    case IDC_CHANGE_FOLDER: OnChangeFolder(dialog); return true;
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

int CentredIconOrigin(int clientExtent, int iconExtent) {
    return (clientExtent - iconExtent + 1) / 2;
}

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
