// File moves and copies that replace what is at the destination. Kept apart
// from file.h, whose MoveItem never replaces: callers choose on purpose.
// See README.md for the error convention.
#pragma once

namespace platform {

// Moves a file onto `to`, replacing a file of that name (same volume or not);
// the move reaches the disk before it returns (write-through). A link at
// `to` is replaced itself, never written through. A file held by another
// program (a sharing or lock violation, or access denied) is tried again for
// about half a second: scanners and indexers hold new files for a moment.
bool MoveFileReplacing(const char* from, const char* to);

}  // namespace platform
