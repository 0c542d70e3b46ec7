// What the machine shows of an update, phase by phase: the record is memory,
// the machine is the truth. A phase is skipped because its result is there,
// never because a record says so; one whose result is not there is done
// (again). Reads only; safe on a worker thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>
#include "common/update_record.h"
#include "migrate/outcome.h"

namespace app {

// Files of the old installation that the new one has no use for: the
// leftovers phase deletes them, and their absence proves it done.
extern const char* const kLeftovers[3];

// The folders an update works on, as the run uses them.
struct ProofInput {
    std::string installFolder;  // where the installation was when the update began
    std::string sharedFolder;
    std::string finalInstallFolder;
    bool relocate = false;
    unsigned preferenceCopies = 0;
    std::string programsFolder;
    std::string desktopFolder;
};

// The folders that may hold the installation, in the order they are looked
// in: the install folder, then (when it moves) the new one.
std::vector<std::string> InstallationRoots(const ProofInput& in);

// Whether any of those holds the program, under its old name or its new one.
bool HoldsProgram(const ProofInput& in);

// The move is shown when it has nothing to do (the installation stays) or
// when the old folder holds nothing of it (gone, or only names beginning
// with ".") and the new one holds the program.
bool MoveShown(const ProofInput& in);

// None of kLeftovers is in the final folder.
bool LeftoversGone(const ProofInput& in);

// The registry is only rewritten toward a real Dovetra 5.0.3: a problem
// unless "<finalInstallFolder>\Dovetra.exe" has the hash the last patch step
// gives "Kestrin.exe" (patch files read from `payloadFolder`).
migrate::Outcome ProveFinalProgram(const std::string& finalInstallFolder, const std::string& payloadFolder);

}  // namespace app
