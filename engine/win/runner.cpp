#include "runner.h"

#include <cstdlib>

#include "plan.h"
#include "stage.h"
#include "text.h"

namespace eng {

namespace {

// A journal is a step list of at most a few entries per patch entry; a
// larger file is not one of ours.
constexpr uint64_t kMaxJournal = 512u << 20;

bool LoadFile(const std::wstring& path, std::vector<uint8_t>* bytes) {
    File f;
    uint64_t size;
    if (!f.OpenRead(path) || !f.Size(&size)) return false;
    if (size > kMaxJournal) {
        ::SetLastError(ERROR_FILE_TOO_LARGE);
        return false;
    }
    bytes->resize(size_t(size));
    return size == 0 || f.ReadAt(0, bytes->data(), bytes->size());
}

// Whether the first step makes the run's backup folder.
bool HasBackupFolder(const std::vector<Step>& steps) {
    return !steps.empty() && steps[0].op == Op::makeFolder && Tree::IsBackupFolderName(steps[0].path);
}

}  // namespace

Runner::Runner(const Tree& tree, const Options& options, Log& log)
    : tree_(tree), options_(options), log_(log), journalPath_(tree.Full(JournalName())) {
    wchar_t value[16];
    DWORD n = ::GetEnvironmentVariableW(L"DVPATCH_STOP_AT", value, 16);
    if (n > 0 && n < 16) stopAt_ = std::wcstol(value, nullptr, 10);
}

void Runner::StopPoint() {
    if (stopAt_ > 0 && ++stopCount_ == stopAt_) ::TerminateProcess(::GetCurrentProcess(), 86);
}

void Runner::ReportFailure(const Step& s, const Failure& f) { log_.Error(f.code, WideToUtf8(s.path), f.sys); }

void Runner::UseBackupFolderOf(const std::vector<Step>& steps) {
    if (HasBackupFolder(steps)) tree_.UseBackupFolder(steps[0].path);
}

void Runner::NoteLeftover(const std::wstring& what) {
    log_.Info("note: left behind until a later run can remove it: " + WideToUtf8(what));
}

ExitCode Runner::Recover() {
    if (!Exists(journalPath_)) return exitOk;
    // A link at the journal's name is not a journal of ours; deleting it
    // could delete what it leads to.
    if (IsLink(journalPath_)) {
        log_.Error(Code::journalDamaged, WideToUtf8(JournalName()) + " (a link)");
        return exitUnsettled;
    }
    std::vector<uint8_t> bytes;
    if (!LoadFile(journalPath_, &bytes)) {
        log_.Error(Code::journalDamaged, WideToUtf8(JournalName()), ::GetLastError());
        return exitUnsettled;
    }
    JournalState st = ParseJournal(bytes);
    if (st.kind == JournalState::damaged) {
        // Acting on a list we cannot trust could destroy the files it names.
        log_.Error(Code::journalDamaged, WideToUtf8(JournalName()));
        return exitUnsettled;
    }
    if (options_.testOnly) {
        log_.Info("the journal of an interrupted run is present (" + WideToUtf8(JournalName()) +
                  "): a run finishes or undoes that run first; this check leaves it as it is");
        for (const Step& s : st.steps)
            if (s.op == Op::stage) pendingWork_.insert(FileKey(WideToUtf8(tree_.WorkName(s))));
        return exitOk;
    }
    UseBackupFolderOf(st.steps);
    bool settled = true;
    if (st.kind == JournalState::torn) {
        log_.Info("an interrupted run had not changed anything yet");
    } else if (st.kind == JournalState::open) {
        log_.Info("undoing an interrupted run");
        settled = RollBack(st.steps, st.lastBegun);
    } else {
        log_.Info("finishing an interrupted run that had committed");
        Forget(st.steps);
    }
    if (!settled) {
        log_.Error(Code::recoveryFailed, WideToUtf8(JournalName()));
        return exitUnsettled;
    }
    if (!ForceDelete(journalPath_)) {
        log_.Error(Code::journalWrite, WideToUtf8(JournalName()), ::GetLastError());
        return exitUnsettled;
    }
    return exitOk;
}

ExitCode Runner::Apply(const PatchSource& source) {
    // No journal refers to a backup folder any more: what earlier runs left
    // in one is a leftover.
    if (!options_.testOnly)
        for (const std::wstring& name : ClearStaleBackups(tree_))
            NoteLeftover(name + L" (an earlier run's backup folder; this run uses another)");
    std::vector<Step> steps;
    PlanCounts counts;
    if (!BuildPlan(tree_, source.Entries(), pendingWork_, log_, &steps, &counts)) return exitFailed;
    log_.Info(std::to_string(counts.toDo) + " entries to apply, " + std::to_string(counts.alreadyDone) +
              " already in their new state");
    if (options_.testOnly || steps.empty()) return exitOk;
    UseBackupFolderOf(steps);
    return Commit(source, steps);
}

bool Runner::RunStep(const PatchSource& source, const Step& s, uint32_t index) {
    Failure f{Code::notCompleted, 0};
    bool kept = false;
    bool ok = s.op == Op::stage ? StageFile(tree_, s, source.Entries()[s.entry], source, &f)
                                : DoStep(tree_, s, index, options_.ignoreExtras, &kept, &f);
    if (!ok) {
        ReportFailure(s, f);
        return false;
    }
    if (kept) log_.Info("kept folder that holds files the patch does not name: " + WideToUtf8(s.path));
    if (s.op != Op::stage && s.path != tree_.BackupName()) log_.Detail("applied: " + WideToUtf8(s.path));
    return true;
}

ExitCode Runner::Commit(const PatchSource& source, const std::vector<Step>& steps) {
    if (!journal_.Create(journalPath_, steps)) {
        DWORD code = ::GetLastError();
        log_.Error(Code::journalWrite, WideToUtf8(JournalName()), code);
        // Only a journal this run made is removed; a file that was at its
        // name already is left as it is.
        bool made = journal_.IsOpen();
        journal_.Close();
        if (made) ForceDelete(journalPath_);
        return exitFailed;
    }
    // One flush covers the records of a step and of the steps after it that
    // may be recorded ahead; each step still acts only after its record is
    // durable.
    std::vector<bool> ahead = MayRecordAhead(steps);
    for (uint32_t i = 0; i < steps.size();) {
        uint32_t end = i + 1;
        while (end < steps.size() && ahead[end]) end++;
        if (!journal_.MarkBegun(i, end - i)) {
            log_.Error(Code::journalWrite, WideToUtf8(JournalName()), ::GetLastError());
            return RollBack(steps, int64_t(i) - 1) ? exitFailed : exitUnsettled;
        }
        StopPoint();
        for (; i < end; i++) {
            if (!RunStep(source, steps[i], i)) return RollBack(steps, i) ? exitFailed : exitUnsettled;
            StopPoint();
        }
    }
    if (!journal_.MarkCommitted()) {
        log_.Error(Code::journalWrite, WideToUtf8(JournalName()), ::GetLastError());
        return RollBack(steps, int64_t(steps.size()) - 1) ? exitFailed : exitUnsettled;
    }
    StopPoint();
    // Committed: from here on the new files stand whatever happens. A backup
    // that cannot be removed is only a leftover, so it does not fail the run,
    // nor keep the journal: the next run clears it.
    journal_.Close();
    Forget(steps);
    ForceDelete(journalPath_);
    return exitOk;
}

bool Runner::RollBack(const std::vector<Step>& steps, int64_t lastBegun) {
    journal_.Close();
    bool ok = true;
    for (int64_t i = lastBegun; i >= 0; i--) {
        Failure f{Code::undoFailed, 0};
        std::wstring leftover;
        if (!UndoStep(tree_, steps[size_t(i)], uint32_t(i), &f, &leftover)) {
            ReportFailure(steps[size_t(i)], f);
            ok = false;  // the others are still undone; the journal stays for a retry
        }
        if (!leftover.empty()) NoteLeftover(leftover);
        StopPoint();
    }
    if (ok && Exists(journalPath_)) ok = ForceDelete(journalPath_);
    if (ok) log_.Info("every change of this run was undone");
    return ok;
}

void Runner::Forget(const std::vector<Step>& steps) {
    for (uint32_t i = 0; i < steps.size(); i++) {
        Failure f{Code::recoveryFailed, 0};
        if (!ForgetStep(tree_, steps[i], i, &f))
            NoteLeftover((steps[i].op == Op::stage ? tree_.WorkName(steps[i]) : tree_.BackupRelative(i)) +
                         L" (system error " + DecimalW(f.sys) + L")");
        StopPoint();
    }
    if (HasBackupFolder(steps) && !::RemoveDirectoryW(tree_.BackupFolder().c_str()) &&
        !IsMissingError(::GetLastError()))
        NoteLeftover(tree_.BackupName());
}

}  // namespace eng
