#include "common/event_log.h"
#include <mutex>
#include "platform/file.h"
#include "platform/handles.h"
#include "platform/strings.h"

namespace common {

namespace {
// The open log, if any; released by CloseEventLog (and at process end).
platform::Handle g_log;
// The worker thread of the migration logs too.
std::mutex g_lock;
}  // namespace

bool OpenEventLog(const char* path) {
    platform::Handle file;
    if (!platform::OpenLogFile(path, file)) return false;
    std::lock_guard<std::mutex> hold(g_lock);
    g_log = std::move(file);
    return true;
}

void CloseEventLog() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_log.Valid()) platform::Flush(g_log.Get());
    g_log.Reset();
}

void LogEvent(const std::string& text) {
    std::string line = platform::LocalTimeStamp() + " " + text + "\r\n";
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_log.Valid()) platform::Write(g_log.Get(), line.data(), static_cast<DWORD>(line.size()));
}

void FlushEventLog() {
    std::lock_guard<std::mutex> hold(g_lock);
    if (g_log.Valid()) platform::Flush(g_log.Get());
}

}  // namespace common
