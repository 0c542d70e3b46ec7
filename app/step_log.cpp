#include "app/step_log.h"
#include <cstring>
#include "common/path.h"
#include "payload/engine.h"
#include "platform/file.h"
#include "platform/file_replace.h"

namespace app {
using namespace common;
using namespace payload;

void KeepStepLog(const char* folder, const PatchStep& step, bool succeeded) {
    char log[kPathCap], name[16], kept[kPathCap];
    std::strcpy(name, step.payloadTag);  // at most 7 characters and a NUL
    std::strcat(name, ".err");
    if (!JoinPath(log, sizeof log, folder, kEngineLogName) || !JoinPath(kept, sizeof kept, folder, name) ||
        !platform::PathExists(log))
        return;
    if (succeeded)
        platform::MoveFileReplacing(log, kept);
    else
        platform::CopyFileReplacing(log, kept);
}

bool WriteEngineLog(const char* folder, const std::string& text) {
    char log[kPathCap];
    platform::Handle file;
    return JoinPath(log, sizeof log, folder, kEngineLogName) && ClearEngineLog(folder) &&
           platform::CreateNew(log, file) && platform::Write(file.Get(), text.data(), static_cast<DWORD>(text.size()));
}

}  // namespace app
