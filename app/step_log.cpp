#include "app/step_log.h"
#include "migrate/tree.h"
#include "common/path.h"
#include "payload/engine.h"
#include "platform/file.h"
#include "platform/file_replace.h"

namespace app {
using namespace common;
using namespace payload;

void KeepStepLog(const char* folder, const PatchStep& step, bool succeeded) {
    std::string log = JoinPath(folder, kEngineLogName), kept = JoinPath(folder, std::string(step.payloadTag) + ".err");
    if (!platform::PathExists(log.c_str())) return;
    // Both replace the name "<tag>.err" itself: a link there is never written through.
    if (succeeded)
        platform::MoveFileReplacing(log.c_str(), kept.c_str());
    else
        migrate::CopyFileUnlessSame(log, kept);
}

bool WriteEngineLog(const char* folder, const std::string& text) {
    std::string log = JoinPath(folder, kEngineLogName);
    platform::Handle file;
    return ClearEngineLog(folder) && platform::CreateNew(log.c_str(), file) &&
           platform::Write(file.Get(), text.data(), static_cast<DWORD>(text.size()));
}

}  // namespace app
