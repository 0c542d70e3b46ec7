#include "plan.h"

#include <cstring>
#include <map>
#include <set>

#include "filehash.h"
#include "text.h"
#include "winfile.h"
#include "ascii.h"

namespace eng {

namespace {

using core::patchfile::Entry;
using core::patchfile::Kind;

enum class State { absent, folder, oldFile, newFile, otherFile };

struct Target {
    std::wstring relative;
    State state;
    DWORD attributes;
};

bool Same(const core::sha256::Digest& d, const uint8_t (&sha)[32]) { return std::memcmp(d.bytes, sha, 32) == 0; }

// Whether the file can be replaced or removed now, asked the way the change
// will use it; nothing is written. Both need delete access, which another
// handle without delete sharing refuses; write access to the data is
// refused too while a program runs from the file (its image is mapped:
// Windows and Wine 8 answer with a sharing violation) or another handle
// lacks write sharing. The read-only attribute also refuses write access
// (access denied), and the engine patches read-only files (it clears the
// attribute first): such a file is asked for delete access alone, so a
// running program whose file is read-only is found only when the commit
// tries it, and the run is undone.
bool CanBeReplaced(const std::wstring& path, DWORD attributes) {
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    Handle h(::CreateFileW(path.c_str(), DELETE | FILE_WRITE_DATA, share, nullptr, OPEN_EXISTING, 0, nullptr));
    if (h.Valid()) return true;
    if (::GetLastError() != ERROR_ACCESS_DENIED || !(attributes & FILE_ATTRIBUTE_READONLY)) return false;
    h.Reset(::CreateFileW(path.c_str(), DELETE, share, nullptr, OPEN_EXISTING, 0, nullptr));
    return h.Valid();
}

// The engine's own files in the working folder are not the patch's to touch:
// its log, its journal, and its backup folders with all they hold.
bool IsEngineName(const std::string& path) {
    std::string p = core::ascii::Folded(path);
    std::wstring first;
    return p == "patch.err" || p == "patch.jnl" ||
           (Utf8ToWide(path.substr(0, path.find('\\')), &first) && Tree::IsBackupFolderName(first));
}

bool IsRemoval(Kind k) { return k == Kind::removeFile || k == Kind::removeFolder; }
bool HasNew(Kind k) { return k == Kind::addFile || k == Kind::changeFile; }

// The patch may remove a path and then create it again as the other kind
// (a file that becomes a folder, or the reverse). The planner therefore
// judges each entry against the state the earlier entries leave, not only
// against the disk, and an entry at or under a path removed earlier in the
// run is carried out in the commit phase, after that removal.
class Planner {
public:
    Planner(const Tree& tree, const std::vector<Entry>& entries, const std::set<std::string>& pendingWork, Log& log)
        : tree_(tree), entries_(entries), pendingWork_(pendingWork), log_(log) {
        std::map<std::string, size_t> lastRemoval;
        for (size_t i = 0; i < entries.size(); i++) {
            std::string key = FileKey(entries[i].path);
            named_.insert(key);
            if (IsRemoval(entries[i].kind))
                lastRemoval[key] = i;
            else if (lastRemoval.count(key))
                successor_[lastRemoval[key]] = i;
        }
    }

    bool Plan(uint32_t index, std::vector<Step>* prep, std::vector<Step>* commit, PlanCounts* counts);

private:
    bool Examine(const core::patchfile::Entry& e, const core::patchfile::Entry* next, Target* t);
    bool Decide(const core::patchfile::Entry& e, const core::patchfile::Entry* next, const Target& t, bool* done);
    bool WorkNameFree(const Step& stage);
    bool UnderRemoved(const std::string& key) const;
    bool OnLink(const std::wstring& relative);

    const Tree& tree_;
    const std::vector<core::patchfile::Entry>& entries_;
    const std::set<std::string>& pendingWork_;  // work names a recovery still to come removes
    Log& log_;
    std::map<size_t, size_t> successor_;      // removal -> creation of the same path
    std::map<std::string, State> simulated_;  // paths earlier steps change
    std::set<std::string> removed_;           // paths earlier steps remove
    std::set<std::string> named_;             // every path the patch names
    std::set<std::string> works_;             // the work names of this run
    std::map<std::wstring, bool> links_;      // folders already looked at
};

bool Planner::UnderRemoved(const std::string& key) const {
    for (size_t cut = key.find('\\'); cut != std::string::npos; cut = key.find('\\', cut + 1))
        if (removed_.count(key.substr(0, cut))) return true;
    return false;
}

// A symbolic link or junction on the way (put there by someone else, since
// a patch cannot make one) could lead a write outside the working folder.
bool Planner::OnLink(const std::wstring& relative) {
    for (size_t cut = relative.find(L'\\');; cut = relative.find(L'\\', cut + 1)) {
        std::wstring part = cut == std::wstring::npos ? relative : relative.substr(0, cut);
        auto known = links_.find(part);
        if (known == links_.end()) {
            DWORD a = ::GetFileAttributesW(tree_.Full(part).c_str());
            known = links_.emplace(part, a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)).first;
        }
        if (known->second) return true;
        if (cut == std::wstring::npos) return false;
    }
}

// What the entry's target is at this point of the run. next: the creation
// that follows a removal of the same path, whose new content also counts as
// "already done" for the removal. Logs and returns false when it cannot tell.
bool Planner::Examine(const core::patchfile::Entry& e, const core::patchfile::Entry* next, Target* t) {
    if (!Utf8ToWide(e.path, &t->relative)) {
        log_.Error(Code::unsafePath, e.path);
        return false;
    }
    if (IsEngineName(e.path)) {
        log_.Error(Code::nameTaken, e.path);
        return false;
    }
    if (OnLink(t->relative)) {
        log_.Error(Code::unsafePath, e.path + " (through a link)");
        return false;
    }
    std::string key = FileKey(e.path);
    auto sim = simulated_.find(key);
    if (sim != simulated_.end() || UnderRemoved(key)) {
        t->state = sim != simulated_.end() ? sim->second : State::absent;
        t->attributes = 0;
        return true;
    }
    std::wstring full = tree_.Full(t->relative);
    Presence p;
    if (!Inspect(full, &p, &t->attributes)) {
        log_.Error(Code::fileRead, e.path, ::GetLastError());
        return false;
    }
    if (p != Presence::file) {
        t->state = p == Presence::folder ? State::folder : State::absent;
        return true;
    }
    File f;
    core::sha256::Digest d;
    uint64_t size;
    if (!f.OpenRead(full) || !HashFile(f, &d, &size)) {
        DWORD code = ::GetLastError();
        bool busy = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
        log_.Error(busy ? Code::fileInUse : Code::fileRead, e.path, code);
        return false;
    }
    const core::patchfile::Entry* fresh = HasNew(e.kind) ? &e : (next && next->kind == Kind::addFile ? next : nullptr);
    bool isNew = fresh && size == fresh->newSize && Same(d, fresh->newSha);
    bool isOld = (e.kind == Kind::changeFile || e.kind == Kind::removeFile) && size == e.oldSize && Same(d, e.oldSha);
    t->state = isNew ? State::newFile : isOld ? State::oldFile : State::otherFile;
    // A file that will be replaced or removed must allow it: a program that
    // holds it open without delete sharing would make the commit fail midway.
    f.Close();
    if (t->state == State::oldFile && !CanBeReplaced(full, t->attributes)) {
        log_.Error(Code::fileInUse, e.path, ::GetLastError());
        return false;
    }
    return true;
}

// Whether the entry is done already, or can start from the target's state;
// logs why not.
bool Planner::Decide(const core::patchfile::Entry& e, const core::patchfile::Entry* next, const Target& t, bool* done) {
    const bool folderKind = e.kind == Kind::makeFolder || e.kind == Kind::removeFolder;
    const bool isFile = t.state == State::oldFile || t.state == State::newFile || t.state == State::otherFile;
    // A removal whose path already holds what the next entry creates there.
    bool recreated = next && ((next->kind == Kind::makeFolder && t.state == State::folder) ||
                              (next->kind == Kind::addFile && t.state == State::newFile));
    *done = recreated || (e.kind == Kind::makeFolder && t.state == State::folder) ||
            (IsRemoval(e.kind) && t.state == State::absent) || (HasNew(e.kind) && t.state == State::newFile);
    if (*done) return true;
    if (t.state == State::folder && !folderKind) {
        log_.Error(Code::folderInTheWay, e.path);
        return false;
    }
    if (isFile && folderKind) {
        log_.Error(Code::fileInTheWay, e.path);
        return false;
    }
    if (e.kind == Kind::changeFile && t.state == State::absent) {
        log_.Error(Code::fileMissing, e.path);
        return false;
    }
    bool startsRight = folderKind || (e.kind == Kind::addFile && t.state == State::absent) ||
                       ((e.kind == Kind::changeFile || e.kind == Kind::removeFile) && t.state == State::oldFile);
    if (!startsRight) {
        log_.Error(Code::unexpectedContent, e.path);
        return false;
    }
    return true;
}

// A work name must be free: not a path of this patch (it would be deleted
// with the work files once the run is committed), not another entry's work
// name, and not on disk, unless the recovery of an interrupted run, still
// to come, removes it (a check-only run leaves that run's files as they are).
bool Planner::WorkNameFree(const Step& stage) {
    std::wstring work = tree_.WorkName(stage);
    std::string key = FileKey(WideToUtf8(work));
    if (named_.count(key) || !works_.insert(key).second || (Exists(tree_.Full(work)) && !pendingWork_.count(key))) {
        log_.Error(Code::nameTaken, WideToUtf8(work));
        return false;
    }
    return true;
}

bool Planner::Plan(uint32_t index, std::vector<Step>* prep, std::vector<Step>* commit, PlanCounts* counts) {
    const core::patchfile::Entry& e = entries_[index];
    auto succ = successor_.find(index);
    const core::patchfile::Entry* next = succ != successor_.end() ? &entries_[succ->second] : nullptr;
    Target t;
    bool done;
    if (!Examine(e, next, &t) || !Decide(e, next, t, &done)) return false;
    if (!done && HasNew(e.kind) && !WorkNameFree({Op::stage, index, 0, t.relative})) return false;
    if (done) {
        counts->alreadyDone++;
        log_.Detail("already done: " + e.path);
        return true;
    }
    counts->toDo++;
    std::string key = FileKey(e.path);
    // Creations where something is removed earlier in this run wait for it.
    std::vector<Step>* early = (removed_.count(key) || UnderRemoved(key)) ? commit : prep;
    switch (e.kind) {
    case Kind::makeFolder: early->push_back({Op::makeFolder, index, 0, t.relative}); break;
    case Kind::addFile:
        early->push_back({Op::stage, index, 0, t.relative});
        commit->push_back({Op::moveIn, index, 0, t.relative});
        break;
    case Kind::changeFile:
        early->push_back({Op::stage, index, t.attributes, t.relative});
        commit->push_back({Op::replace, index, t.attributes, t.relative});
        break;
    case Kind::removeFile: commit->push_back({Op::removeFile, index, 0, t.relative}); break;
    case Kind::removeFolder: commit->push_back({Op::removeFolder, index, 0, t.relative}); break;
    }
    if (IsRemoval(e.kind)) {
        removed_.insert(key);
        simulated_[key] = State::absent;
    } else {
        simulated_[key] = e.kind == Kind::makeFolder ? State::folder : State::newFile;
    }
    return true;
}

bool NeedsBackups(const std::vector<Step>& commit) {
    for (const Step& s : commit)
        if (s.op == Op::replace || s.op == Op::removeFile) return true;
    return false;
}

}  // namespace

bool BuildPlan(const Tree& tree, const std::vector<core::patchfile::Entry>& entries,
               const std::set<std::string>& pendingWork, Log& log, std::vector<Step>* steps, PlanCounts* counts) {
    Planner planner(tree, entries, pendingWork, log);
    std::vector<Step> prep, commit;
    bool ok = true;
    for (uint32_t i = 0; i < entries.size(); i++)
        if (!planner.Plan(i, &prep, &commit, counts)) ok = false;
    if (!ok) return false;
    steps->clear();
    if (NeedsBackups(commit)) {
        // The first free name: a folder an earlier run left behind stays
        // until it can be cleared, and does not block this run.
        unsigned n = 0;
        while (n < Tree::kBackupFolders && Exists(tree.Full(Tree::BackupFolderName(n)))) n++;
        if (n == Tree::kBackupFolders) {
            log.Error(Code::nameTaken, WideToUtf8(Tree::BackupFolderName(0)));
            return false;
        }
        steps->push_back({Op::makeFolder, 0, 0, Tree::BackupFolderName(n)});
    }
    steps->insert(steps->end(), prep.begin(), prep.end());
    steps->insert(steps->end(), commit.begin(), commit.end());
    return true;
}

}  // namespace eng
