// The administrator's log ("/log FILE"): one UTF-8 line per event, each with
// the local time, appended to the file and written through at once, so that
// what happened before a crash or a kill is on disk. Any folder above
// platform/ may note an event; without an open log nothing is written.
#pragma once
#include <string>

namespace common {

// Opens (creates or appends to) the log; false when it cannot be opened, the
// system's reason in GetLastError().
bool OpenEventLog(const char* path);
// Closes the log; later events go nowhere. Safe when none is open.
void CloseEventLog();
// "YYYY-MM-DD hh:mm:ss.mmm <text>\r\n". Write failures are ignored: the log
// reports the update, it never stops it. Any thread may log; lines are
// never mixed, also with another process appending to the same log (each
// line is one write at the end).
void LogEvent(const std::string& text);
// Makes every line so far reach the disk (at the end of each phase, so that
// after a power cut the log still says how far the update got).
void FlushEventLog();

}  // namespace common
