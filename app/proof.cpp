#include "app/proof.h"
#include "common/path.h"
#include "common/state.h"
#include "migrate/registry.h"
#include "migrate/renames.h"
#include "migrate/shortcuts.h"
#include "payload/patch_chain.h"
#include "platform/dir.h"
#include "platform/file.h"

namespace app {
using namespace common;

const char* const kLeftovers[3] = {"UnInst.isu", "UnInsdll.dll", "KSReg.dat"};

namespace {

uint32_t Bit(Phase p) { return 1u << static_cast<int>(p); }

bool HoldsProgramIn(const std::string& folder) {
    return FileExists(JoinPath(folder, "Kestrin.exe")) || FileExists(JoinPath(folder, "Dovetra.exe"));
}

// The old folder after the move: gone, or holding only what the move leaves
// (names beginning with ".").
bool MovedAway(const std::string& folder) {
    if (!platform::IsFolder(folder.c_str())) return true;
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First(JoinPath(folder, "*.*").c_str(), &e)) return walk.Ended();
    do {
        if (e.name != "." && e.name != ".." && (e.name.empty() || e.name[0] != '.')) return false;
    } while (walk.Next(&e));
    return walk.Ended();
}

}  // namespace

std::vector<std::string> InstallationRoots(const ProofInput& in) {
    std::vector<std::string> roots{in.installFolder};
    if (in.relocate && !PathsEqual(in.installFolder, in.finalInstallFolder)) roots.push_back(in.finalInstallFolder);
    return roots;
}

bool HoldsProgram(const ProofInput& in) {
    for (const std::string& root : InstallationRoots(in))
        if (HoldsProgramIn(root)) return true;
    return false;
}

uint32_t StepBits(int stepsDone, bool cutOff) {
    uint32_t bits = stepsDone > 0 || cutOff ? Bit(Phase::kSharedCopy) : 0;
    for (int k = 0; k < stepsDone && k < kPatchStepCount; ++k) bits |= Bit(StepPhase(k));
    return bits;
}

uint32_t ProveMigration(const ProofInput& in, int stepsDone) {
    if (stepsDone < kPatchStepCount) return 0;
    uint32_t bits = 0;
    if (in.relocate && !PathsEqual(in.installFolder, in.finalInstallFolder) &&
        !(MovedAway(in.installFolder) && HoldsProgramIn(in.finalInstallFolder)))
        return bits;
    bits |= Bit(Phase::kMove);
    if (!migrate::RenamesShown(in.sharedFolder, in.finalInstallFolder, in.preferenceCopies)) return bits;
    bits |= Bit(Phase::kRenames);
    if (migrate::ShortcutsShown(in.finalInstallFolder, in.programsFolder, in.desktopFolder))
        bits |= Bit(Phase::kShortcuts);
    if (migrate::RegistryShown(in.finalInstallFolder.c_str())) bits |= Bit(Phase::kRegistry);
    bool left = false;
    for (const char* name : kLeftovers) left |= FileExists(JoinPath(in.finalInstallFolder, name));
    if (!left) bits |= Bit(Phase::kLeftovers);
    return bits;
}

migrate::Outcome ProveFinalProgram(const std::string& finalInstallFolder, const std::string& payloadFolder) {
    migrate::Outcome out;
    payload::PatchTables tables;
    std::string why;
    uint8_t sha[32];
    std::string program = JoinPath(finalInstallFolder, "Dovetra.exe");
    if (!payload::ReadPatchTables(payloadFolder, g_patchSteps, kPatchStepCount, &tables, &why))
        out.Add(migrate::Problem{program, "", "The updater is damaged: " + why + ".", 0});
    else if (!payload::LastVersion(tables, "Kestrin.exe", sha) || !payload::FileHasHash(program, sha))
        out.Add(migrate::Problem{
            program, "", "This is not the Dovetra 5.0.3 program: no registry value is rewritten toward it.", 0});
    return out;
}

}  // namespace app
