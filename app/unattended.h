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

// Finds the installation (or the update under way), extracts the payload,
// and runs the preflight that "Begin Update" runs, changing nothing; reports
// what an update would do or what stands in its way (event log, and a box
// unless quiet) and removes what it extracted. Its ending is the one the
// update would meet before its first change: kUpdated when it would proceed.
common::Ending RunCheck(const Options& options);

}  // namespace app
