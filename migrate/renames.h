// The new product's names for the suite's preference files, data folders and
// main executable.
#pragma once

// Carries out the fixed rename table: renames in the shared folder, then the
// executable and data folders renamed and the old preference files deleted in
// the final install folder. A rename never replaces an existing item; no row
// shows anything or stops the rest. Leaves the final install folder current
// (when it can be entered).
void RenameProductItems();
