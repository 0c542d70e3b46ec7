#include "app/proof.h"
#include "common/path.h"
#include "common/state.h"
#include "payload/patch_chain.h"
#include "platform/dir.h"
#include "platform/file.h"

namespace app {
using namespace common;

const char* const kLeftovers[3] = {"UnInst.isu", "UnInsdll.dll", "KSReg.dat"};

namespace {

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

bool MoveShown(const ProofInput& in) {
    return !in.relocate || PathsEqual(in.installFolder, in.finalInstallFolder) ||
           (MovedAway(in.installFolder) && HoldsProgramIn(in.finalInstallFolder));
}

bool LeftoversGone(const ProofInput& in) {
    for (const char* name : kLeftovers)
        if (FileExists(JoinPath(in.finalInstallFolder, name))) return false;
    return true;
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
