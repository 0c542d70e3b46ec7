// The modes without the dialog: /quiet (the whole update, unattended) and
// /check (the preflight, changing nothing). Both take every message box's
// default answer when g_state.quiet is set (see AnswerQuietly).
#pragma once
#include <windows.h>
#include "app/options.h"
#include "common/state.h"

namespace app {

// The message hook of /quiet: notes the box's text in the event log and
// answers as its default button would.
int AnswerQuietly(HWND owner, const char* text, const char* title, UINT flags);

// Start-up, the update and its completion without a window.
common::Ending RunQuiet(const Options& options);

// Finds the installation, extracts the payload, runs the engine's check of
// the first patch in the install folder, and checks that the relocation
// target is free; reports what an update would do (event log, and a box
// unless quiet) and removes what it extracted. kUpdated when an update
// would proceed.
common::Ending RunCheck(const Options& options);

}  // namespace app
