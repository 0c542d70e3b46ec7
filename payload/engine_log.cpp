// The engine's log: clearing it before a step and judging it after.
#include <cstring>
#include "common/path.h"
#include "payload/engine.h"
#include "platform/file.h"

namespace payload {
using namespace common;

const char kEngineLogName[] = "patch.err";
const char kEngineDoneMark[] = "update complete";
const char kEngineFailureMark[] = "wpt0036";

// A log larger than this is not the engine's: it is refused, not read.
static const int64_t kMaxLogBytes = 64 * 1024 * 1024;

// Whether the buffer (n bytes and a NUL after them) holds `text` in any
// letter case. NULs inside split it into segments, each searched: a stray NUL
// in a log must not hide what follows it; the text holds no NUL, so no match
// spans two segments.
static bool Holds(const char* buf, size_t n, const char* text) {
    for (size_t pos = 0; pos <= n;) {
        const char* segment = buf + pos;
        if (FindTextNoCase(segment, text) >= 0) return true;
        pos += std::strlen(segment) + 1;
    }
    return false;
}

bool ClearEngineLog(const char* folder) {
    std::string path = JoinPath(folder, kEngineLogName);
    const char* log = path.c_str();
    if (!platform::PathExists(log)) return true;
    // A read-only log of an earlier run cannot be deleted as it is.
    platform::SetReadOnly(log, false);
    platform::DeleteFileAt(log);
    return !platform::PathExists(log);
}

StepVerdict JudgeStep(const char* folder, DWORD exitCode) {
    std::string text;
    if (!platform::ReadWholeFile(JoinPath(folder, kEngineLogName).c_str(), kMaxLogBytes, text))
        return StepVerdict::kNoLog;
    // c_str() puts the NUL after the text that Holds relies on.
    if (exitCode != 0 || Holds(text.c_str(), text.size(), kEngineFailureMark)) return StepVerdict::kFailed;
    return Holds(text.c_str(), text.size(), kEngineDoneMark) ? StepVerdict::kSucceeded : StepVerdict::kUnconfirmed;
}

const char* DescribeVerdict(StepVerdict v) {
    switch (v) {
    case StepVerdict::kSucceeded: return "succeeded";
    case StepVerdict::kFailed: return "failed";
    case StepVerdict::kNoLog: return "failed: no readable log";
    case StepVerdict::kUnconfirmed: return "failed: the log does not confirm completion";
    }
    return "failed";
}

}  // namespace payload
