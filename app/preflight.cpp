#include "app/preflight.h"
#include "app/phase_list.h"
#include "app/work_meter.h"
#include <algorithm>
#include <set>
#include "common/path.h"
#include "migrate/registry.h"
#include "migrate/relocation.h"
#include "migrate/renames.h"
#include "migrate/tree.h"
#include "payload/patch_chain.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/restart.h"
#include "platform/utf.h"
#include "platform/volume.h"

namespace app {
using namespace common;

namespace {

// Logs, the journal and the record: a margin on top of what the files need.
const uint64_t kMarginBytes = 1u << 20;

std::string Megabytes(uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB"; }

struct Checker {
    const PreflightInput& in;
    Preflight& out;
    std::set<std::string> inUseSeen;

    void Add(Finding::Kind kind, const std::string& text, const std::string& path = std::string()) {
        out.findings.push_back(Finding{kind, text, path});
    }

    void InUse(const std::string& path) {
        if (inUseSeen.insert(path).second)
            Add(Finding::Kind::kInUse, path + ": in use by another program. Close it, then try again.", path);
    }

    // A file the update replaces, deletes or renames.
    void CheckChangeable(const std::string& path) {
        if (platform::CheckReplaceable(path.c_str())) return;
        DWORD e = platform::LastError();
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return;  // nothing to hold
        if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION) {
            InUse(path);
        } else {
            Add(Finding::Kind::kRights,
                path + ": cannot be changed by this user (" + platform::ErrorDescription(e) + ").", path);
        }
    }

    // A problem of a migrate check: in use (another program holds the item),
    // no right, or else `otherwise` (the text after the item's name).
    void FromProblem(const migrate::Problem& p, const std::string& otherwise) {
        if (p.error == ERROR_SHARING_VIOLATION || p.error == ERROR_LOCK_VIOLATION) return InUse(p.item);
        if (p.error == ERROR_ACCESS_DENIED)
            return Add(Finding::Kind::kRights,
                       p.item + ": cannot be changed by this user (" + platform::ErrorDescription(p.error) + ").",
                       p.item);
        Add(Finding::Kind::kTarget, p.item + otherwise, p.item);
    }

    void CheckFolderWritable(const std::string& folder, const char* what) {
        if (folder.empty() || platform::CheckCanCreateIn(folder.c_str())) return;
        DWORD e = platform::LastError();
        Add(Finding::Kind::kRights,
            folder + ": this user cannot write in the " + what + " (" + platform::ErrorDescription(e) + ").", folder);
    }

    // Done as the machine shows it, never as the record says.
    bool Done(Phase p) const { return (out.shown >> static_cast<int>(p)) & 1u; }
};

ProofInput ProofOf(const PreflightInput& in) {
    ProofInput p;
    p.installFolder = in.installFolder;
    p.sharedFolder = in.sharedFolder;
    p.finalInstallFolder = in.finalInstallFolder;
    p.relocate = in.relocate;
    p.preferenceCopies = in.preferenceCopies;
    p.programsFolder = in.programsFolder;
    p.desktopFolder = in.desktopFolder;
    return p;
}

// A record not followed: it names folders that do not hold what its update
// would have left there.
void RecordNotFollowed(Checker& c, const std::string& found) {
    c.Add(Finding::Kind::kRecord,
          "The record of an interrupted update, \"" + c.in.recordPath + "\", names the installation " +
              c.in.installFolder + (c.in.relocate ? " (moving to " + c.in.finalInstallFolder + ")" : std::string()) +
              ", but " + found +
              ". The record is not followed. Check the installation; to start the update afresh, delete that file "
              "and run the updater again.",
          c.in.recordPath);
}

// The nearest folder of `path` that exists (the path itself when it does).
std::string ExistingAncestor(std::string path) {
    while (!path.empty() && !platform::IsFolder(path.c_str())) {
        std::string up = FolderOf(path);
        if (up == path) break;
        path = up;
    }
    return path;
}

// A record's folders are those the updater itself would have written: the
// new default folder when the installation moves, else the install folder;
// a shared folder that holds "WMF.F32" (as the search requires).
void CheckRecordFolders(Checker& c) {
    const PreflightInput& in = c.in;
    if (!PathsEqual(in.finalInstallFolder, in.relocate ? migrate::NewInstallFolder() : in.installFolder))
        RecordNotFollowed(c, "its new folder " + in.finalInstallFolder + " is none the update moves to");
    else if (!FileExists(JoinPath(in.sharedFolder, "WMF.F32")))
        RecordNotFollowed(c, "its shared folder " + in.sharedFolder + " does not hold \"WMF.F32\"");
}

// The patch steps: which are done, whether the rest apply, what they touch
// and how much room they need on the install folder's volume.
void CheckChain(Checker& c, uint64_t* needInstall) {
    const PreflightInput& in = c.in;
    payload::PatchTables tables;
    std::string why;
    if (!payload::ReadPatchTables(in.payloadFolder, g_patchSteps, kPatchStepCount, &tables, &why)) {
        c.Add(Finding::Kind::kBadBuild, "The updater is damaged: " + why + ".");
        return;
    }
    c.out.stepCutOff = FileExists(JoinPath(in.installFolder, "patch.jnl"));
    // The engine works in the install folder as its current directory, which
    // Windows holds to MAX_PATH with a closing backslash.
    if (platform::WideLength(in.installFolder.c_str()) + 2 > MAX_PATH)
        c.Add(Finding::Kind::kTarget,
              in.installFolder + ": the path is longer than Windows lets a program work in (" +
                  std::to_string(MAX_PATH - 2) +
                  " characters). Move the installation to a shorter path, then try again.",
              in.installFolder);
    // The installation is proven by its hashes wherever it is: in the old
    // folder, the new one or both (a move cut off), under its old names or
    // its new ones.
    std::vector<std::string> held;
    ProofInput proof = ProofOf(in);
    std::vector<std::string> roots = in.record ? InstallationRoots(proof) : std::vector<std::string>{in.installFolder};
    core::chain::Analysis a =
        payload::AnalyzeInstallationIn(tables, roots, in.sharedFolder, migrate::NewInstallName, &held);
    // A file held open cannot be read to compare: it is a file in use, and
    // what it holds is known once it is free again.
    for (const std::string& path : held) c.InUse(path);
    if (!a.broken.empty()) {
        c.Add(Finding::Kind::kBadBuild,
              "The updater is damaged: its patch files do not follow each other (" + a.broken + ").");
        return;
    }
    if (a.done < 0 && in.record && !HoldsProgram(proof))
        return RecordNotFollowed(c, "no Kestrin or Dovetra program is there");
    if (a.done >= 0 && a.done < kPatchStepCount && in.record && !platform::IsFolder(in.installFolder.c_str()))
        return RecordNotFollowed(c, "the installation there has had " + std::to_string(a.done) +
                                        " of the patch steps and is not in the folder they are applied in");
    if (a.done < 0) {
        for (const auto& m : a.mismatches) {
            std::string path = JoinPath(m.fromOverlay ? in.sharedFolder : in.installFolder, m.path);
            if (m.found.kind == core::chain::Found::unreadable && c.inUseSeen.count(path)) continue;
            c.Add(Finding::Kind::kChanged,
                  path + ": not the version patch step " + std::to_string(m.step + 1) + " (" +
                      g_patchSteps[m.step].fileName + ") expects" +
                      (m.found.kind == core::chain::Found::absent ? " (it is missing)" : "") +
                      ". Restore it from the Kestrin 5.0 installation media, then try again.",
                  path);
        }
        return;
    }
    c.out.stepsDone = a.done;
    c.out.shown = ProvePhases(proof, a.done, c.out.stepCutOff);
    // The copy of the shared folder, then each step's new files beside the
    // old ones until it commits.
    uint64_t copy = a.done == 0 && !c.out.stepCutOff ? migrate::TreeBytes(in.sharedFolder) : 0;
    int64_t grown = 0;
    uint64_t peak = 0;
    std::set<std::string> folders;
    // A step cut off is undone whole and applied again: every file it
    // changes or removes must be free, also those it had done already.
    if (c.out.stepCutOff && a.done < kPatchStepCount)
        for (const auto& e : tables[a.done])
            if (e.kind == core::patchfile::Kind::changeFile || e.kind == core::patchfile::Kind::removeFile)
                c.CheckChangeable(JoinPath(in.installFolder, e.path));
    c.out.copyBytes = copy;
    for (size_t k = 0; k < a.work.size() && a.done + k < kPatchStepCount; ++k)
        c.out.stepBytes[a.done + k] = a.work[k].newBytes;
    for (const auto& w : a.work) {
        peak = std::max<uint64_t>(peak, static_cast<uint64_t>(std::max<int64_t>(grown, 0)) + w.newBytes);
        grown += static_cast<int64_t>(w.newBytes) - static_cast<int64_t>(w.oldBytes);
        for (const auto& p : w.replace) c.CheckChangeable(JoinPath(in.installFolder, p));
        for (const auto& p : w.remove) c.CheckChangeable(JoinPath(in.installFolder, p));
        for (const auto* list : {&w.replace, &w.add})
            for (const auto& p : *list) folders.insert(ExistingAncestor(FolderOf(JoinPath(in.installFolder, p))));
    }
    *needInstall += copy + peak;
    for (const auto& f : folders) c.CheckFolderWritable(f, "installation");
}

// The move to the new default folder: the same rule as the move itself.
void CheckMove(Checker& c, uint64_t* needFinal) {
    const PreflightInput& in = c.in;
    if (!in.relocate || c.Done(Phase::kMove)) return;
    migrate::Outcome o = migrate::CheckRelocation(in.installFolder, in.finalInstallFolder);
    for (const auto& p : o.problems)
        c.FromProblem(p, " cannot be moved to " + p.target + ": " + p.why + " Move it away, then try again.");
    c.CheckFolderWritable(ExistingAncestor(in.finalInstallFolder), "new install folder");
    std::string from, to;
    if (platform::VolumeOf(in.installFolder.c_str(), from) && platform::VolumeOf(in.finalInstallFolder.c_str(), to) &&
        !PathsEqual(from, to)) {
        c.out.moveBytes = migrate::TreeBytes(in.installFolder);
        *needFinal += c.out.moveBytes;
    }
}

// The registry step's dry run: every value, new key and old key this user
// could not change. The keys near the roots are counted first (a small part
// of a walk's cost): with them the run's plan is known and the bar moves as
// the walk enters them; the walk's own count is the registry phase's total.
void CheckRegistryRights(Checker& c) {
    const PreflightInput& in = c.in;
    WorkMeter* meter = in.meter;
    if (meter) {
        c.out.registryNearKeys = c.Done(Phase::kRegistry) ? 0 : migrate::CountRegistryKeys(in.stop);
        meter->Plan(PlanOf(c.out));
        meter->Begin(0, c.out.registryNearKeys);
    }
    if (c.Done(Phase::kRegistry)) return;
    migrate::ShortForms kept =
        in.record ? in.record->shortForms : migrate::TakeShortForms(in.installFolder.c_str(), in.sharedFolder.c_str());
    migrate::RegistryResult r =
        migrate::CheckRegistry(in.installFolder.c_str(), in.sharedFolder.c_str(), in.finalInstallFolder.c_str(), kept,
                               in.stop, [meter](unsigned depth) {
                                   if (meter && depth <= migrate::kCountDepth) meter->Item();
                               });
    c.out.registryKeys = r.walk.keys;
    if (meter) meter->End(0);
    for (const migrate::Problem& p : migrate::RegistryOutcome(r).problems)
        c.Add(Finding::Kind::kRights,
              "Registry " + p.item + ": " + p.why +
                  (p.error ? " (" + platform::ErrorDescription(p.error) + ")" : std::string()) +
                  " Run the updater as a user who may change it.",
              p.item);
}

void CheckRoom(Checker& c, const std::string& folder, uint64_t need) {
    if (need == 0) return;
    need += kMarginBytes;
    std::string volume;
    uint64_t free = 0;
    if (!platform::VolumeOf(folder.c_str(), volume) || !platform::FreeBytes(folder.c_str(), &free) || free >= need)
        return;
    c.Add(Finding::Kind::kSpace,
          "Drive " + volume + ": the update needs " + Megabytes(need) + " there, " + Megabytes(free) +
              " are free. Free " + Megabytes(need - free) + ", then try again.",
          volume);
}

}  // namespace

common::Ending Preflight::Verdict() const {
    if (findings.empty()) return Ending::kUpdated;
    bool onlyInUse = true;
    for (const auto& f : findings) {
        if (f.kind == Finding::Kind::kBadBuild) return Ending::kBadBuild;
        if (f.kind == Finding::Kind::kRecord) return Ending::kDamagedRecord;
        onlyInUse &= f.kind == Finding::Kind::kInUse;
    }
    return onlyInUse ? Ending::kFilesInUse : Ending::kCannotUpdate;
}

std::string Preflight::Report() const {
    std::string text;
    if (!programs.empty()) {
        text += "Programs that hold files of the installation open:";
        for (const auto& p : programs) text += " " + p + ";";
        text += "\r\n";
    }
    for (const auto& f : findings) text += f.text + "\r\n";
    return text;
}

Preflight RunPreflight(const PreflightInput& in) {
    Preflight out;
    Checker c{in, out, {}};
    uint64_t needInstall = 0, needFinal = 0;
    if (in.record) CheckRecordFolders(c);
    if (out.findings.empty()) CheckChain(c, &needInstall);
    for (const auto& f : out.findings)
        if (f.kind == Finding::Kind::kRecord) return out;  // nothing else is looked at for it
    CheckMove(c, &needFinal);
    // The copy of the shared folder runs before the first step only.
    if (!c.Done(Phase::kSharedCopy) && out.stepsDone == 0 && !out.stepCutOff &&
        platform::IsFolder(in.sharedFolder.c_str()))
        for (const auto& p : migrate::CheckCopySources(in.sharedFolder, in.installFolder).problems)
            c.FromProblem(
                p, ": cannot be read for the copy of the shared folder (" + platform::ErrorDescription(p.error) + ").");
    if (!c.Done(Phase::kRenames)) {
        std::string folder = in.relocate && c.Done(Phase::kMove) ? in.finalInstallFolder : in.installFolder;
        c.CheckChangeable(JoinPath(folder, "Kestrin.exe"));
        for (const auto& p : migrate::CheckRenames(in.sharedFolder, folder).problems)
            c.FromProblem(p, ": cannot be renamed (" + platform::ErrorDescription(p.error) + ").");
    }
    if (!c.Done(Phase::kShortcuts)) {
        c.CheckFolderWritable(in.programsFolder, "Start menu");
        c.CheckFolderWritable(in.desktopFolder, "desktop");
    }
    CheckRegistryRights(c);
    CheckRoom(c, in.installFolder, needInstall);
    CheckRoom(c, in.finalInstallFolder, needFinal);
    std::vector<std::string> held;
    for (const auto& f : out.findings)
        if (f.kind == Finding::Kind::kInUse) held.push_back(f.path);
    platform::ProgramsUsing(held, out.programs);
    return out;
}

}  // namespace app
