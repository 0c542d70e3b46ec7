// The steps of a run and how each is done and undone.
//
// A run first prepares (makes new folders, writes every new file beside its
// target under a work name), then commits (moves new files into place, keeps
// replaced and removed files in a backup folder, removes folders). Until the
// journal says "committed", every step can be undone, and each undo looks at
// what is on disk, so undoing a step twice, or one that was cut short at any
// point, is safe.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "log.h"

namespace eng {

enum class Op : uint8_t {
    makeFolder = 1,    // create a folder
    stage = 2,         // write the new content of path to its work name
    moveIn = 3,        // move the work file to path, where nothing was
    replace = 4,       // keep path in the backup folder, move the work file over it
    removeFile = 5,    // move path into the backup folder
    removeFolder = 6,  // remove an empty folder
};

struct Step {
    Op op;
    uint32_t entry;       // the patch entry this step serves
    uint32_t attributes;  // replace: the target's attributes before the run
    std::wstring path;    // relative to the working folder
};

// Names inside the working folder.
class Tree {
public:
    explicit Tree(const std::wstring& root) : root_(root), backupName_(BackupFolderName(0)) {}
    const std::wstring& Root() const { return root_; }
    std::wstring Full(const std::wstring& relative) const;
    // The work name of step s's new file, relative to the root: beside its
    // target, so the final move is a rename within one folder. The target's
    // name with kWorkSuffix; when that would pass the limit of one name
    // (kMaxName UTF-16 units, or kMaxName bytes of UTF-8 on volumes that
    // keep names so, as Wine's on Linux do), "~dvN" with the suffix, N the
    // entry's number. Either follows from what the journal records of the
    // step, so a recovery finds it.
    std::wstring WorkName(const Step& s) const;
    std::wstring Work(const Step& s) const { return Full(WorkName(s)); }
    static constexpr wchar_t kWorkSuffix[] = L".~dvnew";
    static constexpr size_t kMaxName = 255;
    // Where step `index` keeps the old file it replaced or removed: "N.old"
    // in the backup folder; relative to the root, and in full.
    std::wstring BackupRelative(uint32_t index) const;
    std::wstring Backup(uint32_t index) const { return Full(BackupRelative(index)); }
    std::wstring BackupFolder() const { return Full(backupName_); }
    const std::wstring& BackupName() const { return backupName_; }
    // The run's backup folder: one of BackupFolderName's names, chosen by
    // the plan or read back from a journal.
    void UseBackupFolder(const std::wstring& name) { backupName_ = name; }
    // "~patch.bak" for n = 0, else "~patch.bak.N": a run takes the first
    // that is free, so a folder an earlier run left and that cannot be
    // cleared yet never blocks the next one.
    static std::wstring BackupFolderName(unsigned n);
    static constexpr unsigned kBackupFolders = 100;
    // Whether a name of the working folder is one of the above, in any case.
    static bool IsBackupFolderName(const std::wstring& name);

private:
    std::wstring root_;
    std::wstring backupName_;
};

struct Failure {
    Code code;
    DWORD sys;  // the system's error code, 0 when none applies
};

// Every step but `stage` (see stage.h). keepNonEmpty: a folder to be removed
// that still holds files stays, and *kept is set.
bool DoStep(const Tree& tree, const Step& s, uint32_t index, bool keepNonEmpty, bool* kept, Failure* f);
// Undoes step `index`. A backup, or the backup folder, that cannot be
// removed although the change itself is undone (a name of a running
// program's file) is no failure: its path goes to *leftover and the undo
// counts as done; the next run clears it (ClearStaleBackups).
bool UndoStep(const Tree& tree, const Step& s, uint32_t index, Failure* f, std::wstring* leftover);
// After a commit: drops what step `index` kept for an undo. False leaves a
// leftover of the same kind, with the system's code in f.
bool ForgetStep(const Tree& tree, const Step& s, uint32_t index, Failure* f);
// Removes what earlier runs left in backup folders no journal refers to
// any more: their "N.old" files and the folders themselves. A folder that
// is a link, or holds anything else, is left alone. Returns the backup
// folders that stay.
std::vector<std::wstring> ClearStaleBackups(const Tree& tree);

}  // namespace eng
