#include "app/step_log.h"
#include <cstring>
#include <string>
#include "app/sequencer.h"
#include "common/path.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_replace.h"

const char kEngineLogName[] = "patch.err";
const char kEngineFailureMark[] = "wpt0036";

static bool g_runFailed = false;

void ResetRunOutcome() { g_runFailed = false; }
bool RunHasFailed() { return g_runFailed; }

void DeleteEngineLog(const char* folder) {
    char log[kPathCap];
    if (JoinPath(log, sizeof log, folder, kEngineLogName)) platform::DeleteFileAt(log);
}

bool EngineLogMarksFailure(const char* folder) {
    char log[kPathCap];
    if (!JoinPath(log, sizeof log, folder, kEngineLogName) || !FileExists(log)) return false;
    return CountTextInFile(log, kEngineFailureMark, false) > 0;
}

bool KeepStepLog(const char* folder, const PatchStep& step) {
    char log[kPathCap], name[16], kept[kPathCap];
    std::strcpy(name, step.payloadTag);  // at most 7 characters and a NUL
    std::strcat(name, ".err");
    if (!JoinPath(log, sizeof log, folder, kEngineLogName) ||
        !JoinPath(kept, sizeof kept, folder, name) || !FileExists(log))
        return true;  // no log: the engine reported nothing against the step
    // Judge before the log moves: once renamed, nothing looks at it again.
    if (CountTextInFile(log, kEngineFailureMark, false) > 0) {
        platform::CopyFileReplacing(log, kept);
        g_runFailed = true;
        return false;
    }
    platform::MoveFileReplacing(log, kept);
    return true;
}

// "patch.err" is created afresh: an older one must not show through.
static bool WriteWholeFile(const char* path, const std::string& text) {
    platform::Handle file;
    return platform::OpenReadWrite(path, file) && platform::Truncate(file.Get(), 0) &&
           platform::Write(file.Get(), text.data(), static_cast<DWORD>(text.size()));
}

void WriteStartFailureLog(const char* folder, const PatchStep& step, DWORD error) {
    g_runFailed = true;
    char log[kPathCap];
    if (!JoinPath(log, sizeof log, folder, kEngineLogName)) return;
    std::string text = "The patch engine could not be started for the patch file ";
    text += step.fileName;
    text += ".\r\nProgram: ";
    text += g_state.engineProgramPath;
    text += "\r\nReason: ";
    text += platform::ErrorDescription(error);
    text += " (system error " + std::to_string(error) + ").\r\n";
    text += "This step and the steps after it were not applied; the files in this folder\r\n"
            "are as the earlier steps left them.\r\n";
    WriteWholeFile(log, text);
}
