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
    explicit Tree(const std::wstring& root) : root_(root) {}
    const std::wstring& Root() const { return root_; }
    std::wstring Full(const std::wstring& relative) const;
    // The work name of a new file: beside its target, so the final move is a
    // rename within one folder; the target's name with kWorkSuffix.
    std::wstring Work(const std::wstring& relative) const;
    static constexpr wchar_t kWorkSuffix[] = L".~dvnew";
    // Where step `index` keeps the old file it replaced or removed.
    std::wstring Backup(uint32_t index) const;
    std::wstring BackupFolder() const;
    static const wchar_t* BackupFolderName();

private:
    std::wstring root_;
};

struct Failure {
    Code code;
    DWORD sys;  // the system's error code, 0 when none applies
};

// Every step but `stage` (see stage.h). keepNonEmpty: a folder to be removed
// that still holds files stays, and *kept is set.
bool DoStep(const Tree& tree, const Step& s, uint32_t index, bool keepNonEmpty, bool* kept, Failure* f);
bool UndoStep(const Tree& tree, const Step& s, uint32_t index, Failure* f);
// After a commit: drops what step `index` kept for an undo.
bool ForgetStep(const Tree& tree, const Step& s, uint32_t index, Failure* f);

}  // namespace eng
