// The message boxes of start-up errors.
#pragma once
#include <windows.h>
#include <string>
#include "common/state.h"

namespace app {

// The executable's file name without its extension ("updater" for
// C:\x\updater.exe): the title of start-up message boxes. Empty when the
// module path is unknown.
std::string ApplicationName();

// A start-up message: owned by the dialog, titled with ApplicationName(),
// OK only, no icon.
void ShowStartupMessage(HWND dialog, const char* text);

// ShowStartupMessage, then ends the dialog (when there is one) as soon as
// the box is closed. The first such call decides g_state.ending; nothing
// starts after it. Requested during initialisation, the dialog is never
// shown.
void ShowErrorAndEnd(HWND dialog, const char* text, common::Ending ending);

}  // namespace app
