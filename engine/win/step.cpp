#include "step.h"

#include <vector>

#include "ascii.h"
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
// bring back a file whose content was never written. The copy is a new
// file, never one a link at the backup's name leads to; it keeps the
// target's times as a move would.
bool CopyToBackup(const std::wstring& target, const std::wstring& backup) {
    File from, copy;
    if (!from.OpenRead(target) || !copy.CreateNew(backup)) return false;
    std::vector<uint8_t> buf(1 << 20);
    for (;;) {
        size_t got;
        if (!from.ReadSome(buf.data(), buf.size(), &got)) return false;
        if (got == 0) break;
        if (!copy.Write(buf.data(), got)) return false;
    }
    return copy.TakeTimes(from) && copy.Flush();
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
    if (!::MoveFileExW(tree.Work(s).c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | kMoveFlags))
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

// A name the undo could not remove although the change is undone: kept as
// a leftover, with the system's code, instead of failing the undo.
bool Leftover(const std::wstring& relative, std::wstring* leftover) {
    *leftover = relative + L" (system error " + DecimalW(::GetLastError()) + L")";
    return true;
}

// Undo of a replace. While the work file exists the move has not happened
// and the target still is the old file; once it is gone, the backup holds
// the old file and goes back over the target, unless it is the target's own
// file (an earlier undo removed the work file but could not remove this
// link to a file a running program held).
bool UndoReplace(const Tree& tree, const Step& s, uint32_t index, Failure* f, std::wstring* leftover) {
    std::wstring target = tree.Full(s.path);
    std::wstring work = tree.Work(s);
    std::wstring backup = tree.Backup(index);
    if (Exists(work)) {
        if (!ForceDelete(backup)) Leftover(tree.BackupRelative(index), leftover);
        if (!ForceDelete(work)) return Fail(f, Code::undoFailed);
    } else if (Exists(backup) && SameFile(backup, target)) {
        if (!ForceDelete(backup)) Leftover(tree.BackupRelative(index), leftover);
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
    std::wstring work = tree.Work(s);
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

// The backup folder may keep leftovers (see UndoReplace); then it stays too.
bool UndoMakeFolder(const Tree& tree, const Step& s, Failure* f, std::wstring* leftover) {
    std::wstring folder = tree.Full(s.path);
    if (::RemoveDirectoryW(folder.c_str()) || IsMissingError(::GetLastError())) return true;
    if (::GetLastError() == ERROR_DIR_NOT_EMPTY && s.path == tree.BackupName()) return Leftover(s.path, leftover);
    return Fail(f, Code::undoFailed);
}

bool IsBackupFile(const std::wstring& name) {
    size_t digits = name.find_first_not_of(L"0123456789");
    return digits != 0 && digits != std::wstring::npos && name.substr(digits) == L".old";
}

}  // namespace

std::wstring Tree::Full(const std::wstring& relative) const { return JoinPath(root_, relative); }

std::wstring Tree::WorkName(const Step& s) const {
    size_t cut = s.path.rfind(L'\\');
    std::wstring name = cut == std::wstring::npos ? s.path : s.path.substr(cut + 1);
    const size_t suffix = sizeof(kWorkSuffix) / sizeof(kWorkSuffix[0]) - 1;
    if (name.size() + suffix <= kMaxName && WideToUtf8(name).size() + suffix <= kMaxName) return s.path + kWorkSuffix;
    std::wstring folder = cut == std::wstring::npos ? std::wstring() : s.path.substr(0, cut + 1);
    return folder + L"~dv" + DecimalW(s.entry) + kWorkSuffix;
}

std::wstring Tree::BackupFolderName(unsigned n) {
    return n == 0 ? std::wstring(L"~patch.bak") : L"~patch.bak." + DecimalW(n);
}

bool Tree::IsBackupFolderName(const std::wstring& name) {
    std::wstring folded = core::ascii::Folded(name);
    for (unsigned n = 0; n < kBackupFolders; n++)
        if (folded == BackupFolderName(n)) return true;
    return false;
}

std::wstring Tree::BackupRelative(uint32_t index) const { return JoinPath(backupName_, DecimalW(index) + L".old"); }

bool DoStep(const Tree& tree, const Step& s, uint32_t index, bool keepNonEmpty, bool* kept, Failure* f) {
    switch (s.op) {
    case Op::makeFolder: return MakeFolder(tree, s, f);
    case Op::moveIn:
        return ::MoveFileExW(tree.Work(s).c_str(), tree.Full(s.path).c_str(), kMoveFlags) || Fail(f, Code::fileAdd);
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

bool UndoStep(const Tree& tree, const Step& s, uint32_t index, Failure* f, std::wstring* leftover) {
    switch (s.op) {
    case Op::makeFolder: return UndoMakeFolder(tree, s, f, leftover);
    case Op::stage: return ForceDelete(tree.Work(s)) || Fail(f, Code::undoFailed);
    case Op::moveIn: return UndoMoveIn(tree, s, f);
    case Op::replace: return UndoReplace(tree, s, index, f, leftover);
    case Op::removeFile: return UndoRemoveFile(tree, s, index, f);
    case Op::removeFolder: return UndoRemoveFolder(tree, s, f);
    }
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return Fail(f, Code::journalDamaged);
}

bool ForgetStep(const Tree& tree, const Step& s, uint32_t index, Failure* f) {
    if (s.op == Op::replace || s.op == Op::removeFile)
        return ForceDelete(tree.Backup(index)) || Fail(f, Code::recoveryFailed);
    if (s.op == Op::stage) return ForceDelete(tree.Work(s)) || Fail(f, Code::recoveryFailed);
    return true;
}

namespace {

// Deletes the "N.old" files of a backup folder, then the folder.
bool ClearBackupFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW fd;
    FindHandle list(::FindFirstFileW(JoinPath(folder, L"*").c_str(), &fd));
    for (bool more = list.Valid(); more; more = ::FindNextFileW(list.Get(), &fd) != 0)
        if (!(fd.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            IsBackupFile(fd.cFileName) && !IsLink(JoinPath(folder, fd.cFileName)))
            ForceDelete(JoinPath(folder, fd.cFileName));
    list.Reset();
    return ::RemoveDirectoryW(folder.c_str()) != 0;
}

}  // namespace

std::vector<std::wstring> ClearStaleBackups(const Tree& tree) {
    std::vector<std::wstring> stay;
    WIN32_FIND_DATAW fd;
    FindHandle list(::FindFirstFileW(tree.Full(L"~patch.bak*").c_str(), &fd));
    for (bool more = list.Valid(); more; more = ::FindNextFileW(list.Get(), &fd) != 0) {
        std::wstring name = fd.cFileName;
        if (!Tree::IsBackupFolderName(name)) continue;
        // A link is not ours to enter: what it leads to may be anyone's.
        bool ours =
            (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (!ours || !ClearBackupFolder(tree.Full(name))) stay.push_back(name);
    }
    return stay;
}

}  // namespace eng
