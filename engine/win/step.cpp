#include "step.h"

#include "text.h"
#include "winfile.h"

namespace eng {

namespace {

constexpr DWORD kMoveFlags = MOVEFILE_WRITE_THROUGH;

// The attributes SetFileAttributesW accepts; the others (compressed,
// sparse, ...) are properties of the file's storage, not settings.
DWORD Settable(DWORD a) {
    a &= FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
         FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    return a != 0 ? a : FILE_ATTRIBUTE_NORMAL;
}

bool Fail(Failure* f, Code c) {
    f->code = c;
    f->sys = ::GetLastError();
    return false;
}

bool MakeFolder(const Tree& tree, const Step& s, Failure* f) {
    if (::CreateDirectoryW(tree.Full(s.path).c_str(), nullptr)) return true;
    return Fail(f, Code::folderCreate);
}

// A copy's blocks reach the disk before the target is replaced: after a
// crash the undo moves the backup back over the target, and it must not
// bring back a file whose content was never written.
bool CopyToBackup(const std::wstring& target, const std::wstring& backup) {
    if (!::CopyFileW(target.c_str(), backup.c_str(), TRUE)) return false;
    File copy;
    return copy.OpenAppend(backup, false) && copy.Flush();
}

// The old content is made reachable under the backup name before the new
// file takes the target name: a hard link costs nothing, a copy is the
// fallback for volumes without links. Clearing read-only first lets the
// move replace the target; the work file already carries the attributes.
bool Replace(const Tree& tree, const Step& s, uint32_t index, Failure* f) {
    std::wstring target = tree.Full(s.path);
    std::wstring backup = tree.Backup(index);
    if (!ClearReadOnly(target)) return Fail(f, Code::fileReplace);
    if (!::CreateHardLinkW(backup.c_str(), target.c_str(), nullptr) && !CopyToBackup(target, backup))
        return Fail(f, Code::fileReplace);
    if (!::MoveFileExW(tree.Work(s.path).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | kMoveFlags))
        return Fail(f, Code::fileReplace);
    return true;
}

bool RemoveFolder(const Tree& tree, const Step& s, bool keepNonEmpty, bool* kept, Failure* f) {
    if (::RemoveDirectoryW(tree.Full(s.path).c_str())) return true;
    DWORD code = ::GetLastError();
    if (keepNonEmpty && code == ERROR_DIR_NOT_EMPTY) {
        *kept = true;
        return true;
    }
    return Fail(f, Code::folderRemove);
}

// Undo of a replace. While the work file exists the move has not happened
// and the target still is the old file; once it is gone, the backup holds
// the old file and goes back over the target.
bool UndoReplace(const Tree& tree, const Step& s, uint32_t index, Failure* f) {
    std::wstring target = tree.Full(s.path);
    std::wstring work = tree.Work(s.path);
    std::wstring backup = tree.Backup(index);
    if (Exists(work)) {
        if (!ForceDelete(backup) || !ForceDelete(work)) return Fail(f, Code::undoFailed);
    } else if (Exists(backup)) {
        if (!ClearReadOnly(target) && !IsMissingError(::GetLastError())) return Fail(f, Code::undoFailed);
        if (!::MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | kMoveFlags))
            return Fail(f, Code::undoFailed);
    }
    if (Exists(target) && !::SetFileAttributesW(target.c_str(), Settable(s.attributes)))
        return Fail(f, Code::undoFailed);
    return true;
}

bool UndoMoveIn(const Tree& tree, const Step& s, Failure* f) {
    std::wstring work = tree.Work(s.path);
    if (Exists(work)) return ForceDelete(work) || Fail(f, Code::undoFailed);
    return ForceDelete(tree.Full(s.path)) || Fail(f, Code::undoFailed);
}

bool UndoRemoveFile(const Tree& tree, const Step& s, uint32_t index, Failure* f) {
    std::wstring backup = tree.Backup(index);
    if (!Exists(backup)) return true;
    if (::MoveFileExW(backup.c_str(), tree.Full(s.path).c_str(), kMoveFlags)) return true;
    return Fail(f, Code::undoFailed);
}

bool UndoRemoveFolder(const Tree& tree, const Step& s, Failure* f) {
    std::wstring folder = tree.Full(s.path);
    if (Exists(folder) || ::CreateDirectoryW(folder.c_str(), nullptr)) return true;
    return Fail(f, Code::undoFailed);
}

bool UndoMakeFolder(const Tree& tree, const Step& s, Failure* f) {
    std::wstring folder = tree.Full(s.path);
    if (::RemoveDirectoryW(folder.c_str()) || IsMissingError(::GetLastError())) return true;
    return Fail(f, Code::undoFailed);
}

}  // namespace

std::wstring Tree::Full(const std::wstring& relative) const { return JoinPath(root_, relative); }

std::wstring Tree::Work(const std::wstring& relative) const { return Full(relative) + kWorkSuffix; }

const wchar_t* Tree::BackupFolderName() { return L"~patch.bak"; }

std::wstring Tree::BackupFolder() const { return Full(BackupFolderName()); }

std::wstring Tree::Backup(uint32_t index) const { return JoinPath(BackupFolder(), DecimalW(index) + L".old"); }

bool DoStep(const Tree& tree, const Step& s, uint32_t index, bool keepNonEmpty, bool* kept, Failure* f) {
    switch (s.op) {
    case Op::makeFolder: return MakeFolder(tree, s, f);
    case Op::moveIn:
        return ::MoveFileExW(tree.Work(s.path).c_str(), tree.Full(s.path).c_str(), kMoveFlags) ||
               Fail(f, Code::fileAdd);
    case Op::replace: return Replace(tree, s, index, f);
    case Op::removeFile:
        return ::MoveFileExW(tree.Full(s.path).c_str(), tree.Backup(index).c_str(), kMoveFlags) ||
               Fail(f, Code::fileRemove);
    case Op::removeFolder: return RemoveFolder(tree, s, keepNonEmpty, kept, f);
    case Op::stage: break;
    }
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return Fail(f, Code::journalDamaged);
}

bool UndoStep(const Tree& tree, const Step& s, uint32_t index, Failure* f) {
    switch (s.op) {
    case Op::makeFolder: return UndoMakeFolder(tree, s, f);
    case Op::stage: return ForceDelete(tree.Work(s.path)) || Fail(f, Code::undoFailed);
    case Op::moveIn: return UndoMoveIn(tree, s, f);
    case Op::replace: return UndoReplace(tree, s, index, f);
    case Op::removeFile: return UndoRemoveFile(tree, s, index, f);
    case Op::removeFolder: return UndoRemoveFolder(tree, s, f);
    }
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return Fail(f, Code::journalDamaged);
}

bool ForgetStep(const Tree& tree, const Step& s, uint32_t index, Failure* f) {
    if (s.op == Op::replace || s.op == Op::removeFile)
        return ForceDelete(tree.Backup(index)) || Fail(f, Code::recoveryFailed);
    if (s.op == Op::stage) return ForceDelete(tree.Work(s.path)) || Fail(f, Code::recoveryFailed);
    return true;
}

}  // namespace eng
