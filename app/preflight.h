// The preflight: before the first change, and as all of /check, whether the
// update can finish here. It changes nothing and reports every problem it
// finds at once, each naming what to do: files and folders in use (and,
// where the system can tell, the programs holding them): those the patch
// steps change, those the move and the renames move (migrate's own checks,
// CheckRelocation and CheckRenames: each must open for deletion, so a folder
// that is a program's current directory counts), and the shared folder's
// files its copy reads (CheckCopySources); room on each volume the update
// writes to, rights to the folders it writes, files changed since they were
// installed (against all three patch steps, by the hashes each step expects
// and produces), and a new folder that is taken. It also finds which patch
// steps the installation has had already, so that a run skips them.
#pragma once
#include <string>
#include <vector>
#include "common/state.h"
#include "migrate/outcome.h"

namespace app {

class WorkMeter;

struct Finding {
    enum class Kind {
        kInUse,     // a file is held open: close the program, then retry
        kSpace,     // not enough room on a volume
        kRights,    // this user may not change a file, folder or registry key
        kChanged,   // a file is not the version any patch step expects
        kTarget,    // the new install folder holds something in the way
        kBadBuild,  // the updater's own patch files are damaged or do not chain
        kRecord,    // the record of an update under way does not describe the machine: not followed
    };
    Kind kind;
    std::string text;  // one line, naming the item and what to do
    std::string path;  // the item (full path), when there is one
};

// Everything the preflight looks at; the folders as the run will use them.
struct PreflightInput {
    std::string installFolder;
    std::string sharedFolder;
    std::string finalInstallFolder;
    bool relocate = false;
    std::string payloadFolder;  // the extracted patch files
    std::string programsFolder;
    std::string desktopFolder;
    // The update under way (what it noted done decides nothing: the machine
    // is looked at); null when none has begun. recordPath: where it is kept.
    const common::UpdateRecord* record = nullptr;
    std::string recordPath;
    unsigned preferenceCopies = 0;  // the record's, else the shared folder's now
    // The run's bar, planned and moved as the registry is looked at; null
    // for a check. Consulted before each registry key: a stop (Cancel) ends
    // the look early, and what it found then counts for nothing.
    WorkMeter* meter = nullptr;
    migrate::StopCheck stop;
};

struct Preflight {
    std::vector<Finding> findings;
    std::vector<std::string> programs;  // holding files in use, where the system names them
    int stepsDone = 0;                  // patch steps the installation has had already
    bool stepCutOff = false;            // an engine run was cut off: its next run finishes or undoes it
    uint32_t shown = 0;                 // a bit per common::Phase whose result the machine shows (proof.h)
    uint64_t copyBytes = 0;             // what the copy of the shared folder writes
    uint64_t stepBytes[common::kPatchStepCount] = {};  // what each patch step still to run writes
    uint64_t moveBytes = 0;                            // what the move copies (across volumes only)
    uint64_t registryKeys = 0;                         // the keys the registry walk visits
    // Those down to migrate::kCountDepth below the roots, counted before the
    // walk for the bar alone (0 without one): the walk's measure and cost.
    uint64_t registryNearKeys = 0;

    // kUpdated when nothing stands in the way; kFilesInUse when only files
    // in use do (try again once they are closed); kBadBuild for the
    // updater's own fault; kDamagedRecord for a record not followed;
    // kCannotUpdate otherwise.
    common::Ending Verdict() const;
    // The findings as text for a box and the log, one per line, the programs
    // holding files first.
    std::string Report() const;
};

Preflight RunPreflight(const PreflightInput& in);

}  // namespace app
