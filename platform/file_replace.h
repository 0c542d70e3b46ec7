// File moves and copies that replace what is at the destination. Kept apart
// from file.h, whose MoveItem never replaces: callers choose on purpose.
// See README.md for the error convention.
#pragma once

namespace platform {

// Moves a file onto `to`, replacing a file of that name (same volume or not).
bool MoveFileReplacing(const char* from, const char* to);
// Copies a file onto `to`, replacing a file of that name.
bool CopyFileReplacing(const char* from, const char* to);

}  // namespace platform
