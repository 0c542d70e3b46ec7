#include "log.h"

namespace eng {

std::string CodeTag(Code c) {
    int v = int(c);
    std::string s = "wpt0000";
    for (size_t i = s.size(); v != 0 && i > 3; v /= 10) s[--i] = char('0' + v % 10);
    return s;
}

const char* CodeMessage(Code c) {
    switch (c) {
    case Code::unknownOption: return "unknown option";
    case Code::noPatchFile: return "no single patch file named on the command line";
    case Code::patchOpen: return "patch file cannot be opened";
    case Code::patchRead: return "patch file cannot be read";
    case Code::patchHeader: return "patch file is damaged or not a patch file";
    case Code::patchChecksum: return "patch file is damaged (checksum mismatch)";
    case Code::patchTable: return "patch file is damaged (entry table)";
    case Code::unsafePath: return "patch file names a path outside the working folder";
    case Code::workingFolder: return "working folder cannot be used";
    case Code::patchVersion: return "patch file is of a format version this engine does not know";
    case Code::libraryLoad: return "engine library cannot be loaded";
    case Code::journalWrite: return "journal cannot be written";
    case Code::journalDamaged: return "journal of an interrupted run is damaged";
    case Code::recoveryFailed: return "interrupted run cannot be finished or undone";
    case Code::unexpectedContent: return "file is neither the old nor the new version";
    case Code::fileMissing: return "file is missing";
    case Code::fileInUse: return "file is in use";
    case Code::folderInTheWay: return "a folder is where a file should be";
    case Code::fileInTheWay: return "a file is where a folder should be";
    case Code::fileRead: return "file cannot be read";
    case Code::nameTaken: return "a work file name the engine needs is taken";
    case Code::folderCreate: return "folder cannot be created";
    case Code::fileWrite: return "new file cannot be written";
    case Code::dataDamaged: return "patch data for a file is damaged";
    case Code::resultMismatch: return "new file does not match its recorded hash";
    case Code::fileReplace: return "file cannot be replaced";
    case Code::fileAdd: return "file cannot be added";
    case Code::fileRemove: return "file cannot be removed";
    case Code::folderRemove: return "folder cannot be removed";
    case Code::undoFailed: return "a change could not be undone; the next run will retry";
    case Code::notCompleted: return "the update did not complete";
    }
    return "error";
}

// The last run's log goes by its name first, and the new log is a file of
// its own: deleting a hard link removes only that name. A symbolic link or
// junction there is refused instead (deleting one under Wine deletes the
// file it leads to).
bool Log::OpenFile(const std::wstring& path) {
    if (IsLink(path)) {
        ::SetLastError(ERROR_CANT_ACCESS_FILE);
        return false;
    }
    return ForceDelete(path) && file_.CreateNew(path, FILE_SHARE_READ);
}

void Log::Line(const std::string& text) {
    std::string line = text + "\r\n";
    // A log that cannot be written must not stop the update or its undo;
    // the exit code still tells the caller how the run ended.
    if (file_.IsOpen()) file_.Write(line.data(), line.size());
    if (console_) {
        DWORD put;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), line.data(), DWORD(line.size()), &put, nullptr);
    }
}

void Log::Info(const std::string& text) { Line(text); }

void Log::Detail(const std::string& text) {
    if (verbose_) Line(text);
}

void Log::Error(Code c, const std::string& subject, DWORD sysCode) {
    errors_++;
    std::string line = CodeTag(c) + " " + CodeMessage(c);
    if (!subject.empty()) line += ": " + subject;
    if (sysCode != 0) line += " (system error " + std::to_string(sysCode) + ")";
    Line(line);
}

}  // namespace eng
