// The engine's log: one line per event, written through at once so that a
// run that is killed leaves every line it reached. Error lines start with
// their code, "wptNNNN", followed by a short message and what it concerns.
#pragma once
#include <windows.h>

#include <string>

#include "winfile.h"

namespace eng {

enum class Code : int {
    unknownOption = 1,
    noPatchFile = 2,
    patchOpen = 3,
    patchRead = 4,
    patchHeader = 5,
    patchChecksum = 6,
    patchTable = 7,
    unsafePath = 8,
    workingFolder = 9,
    libraryLoad = 10,
    patchVersion = 11,
    journalWrite = 12,
    journalDamaged = 13,
    recoveryFailed = 14,
    unexpectedContent = 20,
    fileMissing = 21,
    fileInUse = 22,
    folderInTheWay = 23,
    fileInTheWay = 24,
    fileRead = 25,
    nameTaken = 26,
    folderCreate = 27,
    fileWrite = 28,
    dataDamaged = 29,
    resultMismatch = 30,
    fileReplace = 31,
    fileAdd = 32,
    fileRemove = 33,
    folderRemove = 34,
    undoFailed = 35,
    notCompleted = 36,
};

// "wpt0036" for Code::notCompleted.
std::string CodeTag(Code c);
const char* CodeMessage(Code c);

class Log {
public:
    // Starts the log file afresh, as a new file (it keeps only this run's
    // events). Fails when the old one cannot be removed (held open by a
    // second engine, or a folder).
    bool OpenFile(const std::wstring& path);
    void EchoToConsole(bool on) { console_ = on; }
    void SetVerbose(bool on) { verbose_ = on; }

    void Info(const std::string& text);
    // Lines only a verbose log (-v) carries: one per entry.
    void Detail(const std::string& text);
    // sysCode 0: no system error to report.
    void Error(Code c, const std::string& subject, DWORD sysCode = 0);
    bool HadError() const { return errors_ != 0; }

private:
    void Line(const std::string& text);

    File file_;
    bool console_ = false;
    bool verbose_ = false;
    int errors_ = 0;
};

}  // namespace eng
