#include "common/event_log.h"
#include "platform/file.h"
#include "platform/handles.h"
#include "platform/strings.h"

namespace common {

namespace {
// The open log, if any; released by CloseEventLog (and at process end).
platform::Handle g_log;
}  // namespace

bool OpenEventLog(const char* path) {
    platform::Handle file;
    if (!platform::OpenLogFile(path, file) || !platform::Seek(file.Get(), 0, FILE_END)) return false;
    g_log = std::move(file);
    return true;
}

void CloseEventLog() { g_log.Reset(); }

void LogEvent(const std::string& text) {
    if (!g_log.Valid()) return;
    std::string line = platform::LocalTimeStamp() + " " + text + "\r\n";
    platform::Write(g_log.Get(), line.data(), static_cast<DWORD>(line.size()));
}

}  // namespace common
