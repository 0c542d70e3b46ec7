// The update record: what an update under way has done, kept on disk so that
// a run cut off anywhere (a power cut, Cancel, a program left open) is
// finished by the next run of the updater. It names the folders and which
// phases are done, and it lives outside everything the update changes (not
// in the installation, not in the registry values the update rewrites).
// Written whole and flushed before the first change and after each phase;
// removed when the update has completed.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace common {

// The phases of an update, in the order they run.
enum class Phase : int {
    kSharedCopy,  // the shared folder's contents copied into the install folder
    kStep1,       // the three patch steps
    kStep2,
    kStep3,
    kMove,     // the installation moved to the new default folder (when it moves)
    kRenames,  // the new product's names; "Dovetra.exe" in place
    kShortcuts,
    kRegistry,
    kLeftovers,  // files of the old installation deleted
    kCount,
};

// A phase's name in records and in the event log ("shared-copy", "step-1",
// ...): stored on disk, never change one.
const char* PhaseKey(Phase p);
inline Phase StepPhase(int step) { return static_cast<Phase>(static_cast<int>(Phase::kStep1) + step); }

struct UpdateRecord {
    std::string installFolder;  // where the installation was when the update began
    std::string sharedFolder;
    std::string finalInstallFolder;  // where it ends up (the new default folder when it moves)
    bool relocate = false;           // the installation moves to finalInstallFolder
    // The old folders' 8.3 forms (long, short), taken before anything moved:
    // the registry step matches values that name them so.
    std::vector<std::pair<std::string, std::string>> shortForms;
    unsigned preferenceCopies = 0;  // migrate::PreferenceFilesPresent before the renames
    uint32_t done = 0;              // a bit per Phase

    bool Done(Phase p) const { return (done >> static_cast<int>(p)) & 1u; }
    void MarkDone(Phase p) { done |= 1u << static_cast<int>(p); }
    // The first phase not done; Phase::kCount when all are.
    Phase Next() const;
};

// The record as text (UTF-8 lines, the last one the SHA-256 of the others),
// and back. Decoding is strict: a record that is not exactly what Encode
// writes (cut short, changed, unknown lines) is refused, never guessed at.
std::string EncodeRecord(const UpdateRecord& r);
bool DecodeRecord(const std::string& text, UpdateRecord* out);

// Where records are kept, in the order they are looked for: the all-users
// application data folder, then the user's own (for a user who may not
// write the first). Each is "<folder>\Dovetra 5.0.3 Update\update.txt".
std::vector<std::string> RecordPlaces();

enum class RecordState {
    kNone,     // no record: no update is under way
    kFound,    // *out holds it
    kDamaged,  // a record is there but cannot be read or trusted
};
// Looks in RecordPlaces() order; *path is the record found (also a damaged
// one), else empty. A record is trusted only when it and its folder are an
// administrator's (or this account's: see RecordRightsProblem), it reads
// back exactly as written, and the folders it names may be acted on
// (RecordContentsProblem); else it is kDamaged, *why saying so, before
// anything acts on it.
RecordState FindRecord(UpdateRecord* out, std::string* path, std::string* why);

// Writes the record to `*path`, or, when that is empty, to the first place
// that takes it (and sets *path). A record's folder is made for the
// administrators alone (platform::CreateAdminFolder); an existing one that
// somebody else owns or may change is not written in (ERROR_ACCESS_DENIED). The new record is written beside the old,
// flushed, and moved over it in one step: a cut at any moment leaves the
// old record or the new one. False, GetLastError() telling why, when it
// could not be written.
bool SaveRecord(const UpdateRecord& r, std::string* path);

// Removes the record and its folder (when empty). True when it is gone.
bool RemoveRecord(const std::string& path);

}  // namespace common
