#include "plan.h"

#include <cstring>

#include "sha256.h"
#include "text.h"
#include "winfile.h"

namespace eng {

namespace {

using patchfile::Entry;
using patchfile::Kind;

enum class State { absent, folder, oldFile, newFile, otherFile };

struct Target {
  std::wstring relative;
  State state;
  DWORD attributes;
};

bool Same(const Digest& d, const uint8_t (&sha)[32]) { return std::memcmp(d.bytes, sha, 32) == 0; }

// What the entry's target is now. Logs and returns false when it cannot tell.
bool Examine(const Tree& tree, const Entry& e, Log& log, Target* t) {
  if (!Utf8ToWide(e.path, &t->relative)) {
    log.Error(Code::unsafePath, e.path);
    return false;
  }
  std::wstring full = tree.Full(t->relative);
  Presence p;
  if (!Inspect(full, &p, &t->attributes)) {
    log.Error(Code::fileRead, e.path, ::GetLastError());
    return false;
  }
  if (p != Presence::file) {
    t->state = p == Presence::folder ? State::folder : State::absent;
    return true;
  }
  File f;
  Digest d;
  uint64_t size;
  if (!f.OpenRead(full) || !HashFile(f, &d, &size)) {
    DWORD code = ::GetLastError();
    log.Error(code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION ? Code::fileInUse : Code::fileRead,
              e.path, code);
    return false;
  }
  bool isNew = e.kind != Kind::removeFile && size == e.newSize && Same(d, e.newSha);
  bool isOld = (e.kind == Kind::changeFile || e.kind == Kind::removeFile) && size == e.oldSize && Same(d, e.oldSha);
  t->state = isNew ? State::newFile : isOld ? State::oldFile : State::otherFile;
  return true;
}

// Appends the entry's steps, or logs why the target is in a state the entry
// cannot start from. prep: folders and new files; commit: the visible moves.
bool Decide(const Tree& tree, const Entry& e, uint32_t index, const Target& t, Log& log,
            std::vector<Step>* prep, std::vector<Step>* commit, PlanCounts* counts) {
  const bool isFolderKind = e.kind == Kind::makeFolder || e.kind == Kind::removeFolder;
  if (t.state == State::folder && !isFolderKind) {
    log.Error(Code::folderInTheWay, e.path);
    return false;
  }
  if (t.state != State::folder && t.state != State::absent && isFolderKind) {
    log.Error(Code::fileInTheWay, e.path);
    return false;
  }
  bool done = (e.kind == Kind::makeFolder && t.state == State::folder) ||
              ((e.kind == Kind::removeFolder || e.kind == Kind::removeFile) && t.state == State::absent) ||
              ((e.kind == Kind::addFile || e.kind == Kind::changeFile) && t.state == State::newFile);
  if (done) {
    counts->alreadyDone++;
    log.Detail("already done: " + e.path);
    return true;
  }
  if (e.kind == Kind::changeFile && t.state == State::absent) {
    log.Error(Code::fileMissing, e.path);
    return false;
  }
  bool startsRight = (e.kind == Kind::addFile && t.state == State::absent) ||
                     ((e.kind == Kind::changeFile || e.kind == Kind::removeFile) && t.state == State::oldFile) ||
                     isFolderKind;
  if (!startsRight) {
    log.Error(Code::unexpectedContent, e.path);
    return false;
  }
  if ((e.kind == Kind::addFile || e.kind == Kind::changeFile) && Exists(tree.Work(t.relative))) {
    log.Error(Code::nameTaken, WideToUtf8(t.relative) + ".~dvnew");
    return false;
  }
  counts->toDo++;
  switch (e.kind) {
    case Kind::makeFolder: prep->push_back({Op::makeFolder, index, 0, t.relative}); break;
    case Kind::addFile:
      prep->push_back({Op::stage, index, 0, t.relative});
      commit->push_back({Op::moveIn, index, 0, t.relative});
      break;
    case Kind::changeFile:
      prep->push_back({Op::stage, index, t.attributes, t.relative});
      commit->push_back({Op::replace, index, t.attributes, t.relative});
      break;
    case Kind::removeFile: commit->push_back({Op::removeFile, index, 0, t.relative}); break;
    case Kind::removeFolder: commit->push_back({Op::removeFolder, index, 0, t.relative}); break;
  }
  return true;
}

bool NeedsBackups(const std::vector<Step>& commit) {
  for (const Step& s : commit)
    if (s.op == Op::replace || s.op == Op::removeFile) return true;
  return false;
}

}  // namespace

bool BuildPlan(const Tree& tree, const std::vector<Entry>& entries, Log& log, std::vector<Step>* steps,
               PlanCounts* counts) {
  std::vector<Step> prep, commit;
  bool ok = true;
  for (uint32_t i = 0; i < entries.size(); i++) {
    Target t;
    if (!Examine(tree, entries[i], log, &t) || !Decide(tree, entries[i], i, t, log, &prep, &commit, counts))
      ok = false;
  }
  if (!ok) return false;
  steps->clear();
  if (NeedsBackups(commit)) {
    if (Exists(tree.BackupFolder())) {
      log.Error(Code::nameTaken, WideToUtf8(Tree::BackupFolderName()));
      return false;
    }
    steps->push_back({Op::makeFolder, 0, 0, Tree::BackupFolderName()});
  }
  steps->insert(steps->end(), prep.begin(), prep.end());
  steps->insert(steps->end(), commit.begin(), commit.end());
  return true;
}

}  // namespace eng
