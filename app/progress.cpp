#include "app/progress.h"
#include "common/ids.h"
#include "common/state.h"
#include "platform/window.h"

namespace app {
using namespace common;

static HWND ProgressBar(HWND dialog) {
    if (!g_state.progressControl) {
        HWND bar = platform::Control(dialog, IDC_PROGRESS);
        if (!bar) return nullptr;
        g_state.progressControl = bar;
        platform::ProgressSetRange(bar, 0, 250);
        platform::ProgressSetStep(bar, 1);
    }
    return g_state.progressControl;
}

int SetProgressPosition(HWND dialog, int pos) {
    HWND bar = ProgressBar(dialog);
    return bar ? platform::ProgressSetPosition(bar, pos) : 0;
}

}  // namespace app
