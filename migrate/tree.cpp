// The walks: CopyOrMoveTree and DeleteTree, with CreateFolderPath.
#include "migrate/tree.h"
#include <windows.h>
#include <string>
#include "common/path.h"
#include "platform/dir.h"
#include "platform/error.h"
#include "platform/file.h"

namespace migrate {
using namespace common;

bool CreateFolderPath(const std::string& path) {
    if (path.empty()) return false;
    // From the second character on, so that a leading "\" is no separator;
    // the parents of a share or a drive root fail harmlessly.
    for (size_t i = 1; i < path.size(); ++i)
        if (path[i] == '\\') platform::CreateFolder(path.substr(0, i).c_str());
    return platform::CreateFolder(path.c_str()) || platform::IsFolder(path.c_str());
}

namespace {

const char kTaken[] = "Another file of that name is there already.";
const char kLinkAtDest[] = "A folder link is there; nothing is written through it.";
const char kUnlisted[] = "The folder's contents could not be read whole.";

// What one CopyOrMoveTree call does, passed down its walk.
struct TreeWalk {
    bool copy;
    std::string keepOut;  // the destination when it lies inside the source
    const StopCheck& stop;
    Outcome& out;
};

void Fail(Outcome& out, const std::string& item, const std::string& target, const char* why = nullptr) {
    DWORD error = why ? 0 : platform::LastError();
    out.Add(Problem{item, target, why ? why : "", error});
}

// Calls `visit` for each entry of `folder` that the walks handle (names
// beginning with "." are not), until it returns false. The search is closed
// on return, before the caller removes the folder. False when the listing
// broke off before its end, so that entries may have gone unseen; true when
// it ended or `visit` stopped it.
template <class Visit>
bool ForEachHandledEntry(const std::string& folder, Visit visit) {
    platform::DirWalk walk;
    platform::DirEntry e;
    if (!walk.First(JoinPath(folder, "*.*").c_str(), &e)) return walk.Ended();
    do {
        if (e.name[0] != '.' && !visit(e)) return true;
    } while (walk.Next(&e));
    return walk.Ended();
}

// True when `folder` holds nothing but names beginning with ".", which the
// walks leave where they are on purpose.
bool HoldsOnlyDotNames(const std::string& folder) {
    bool only = true;
    return ForEachHandledEntry(folder, [&](const platform::DirEntry&) { return only = false; }) && only;
}

// Moves one file without ever replacing another. A destination that is an
// earlier move cut off between its copy and its delete lets the source go.
bool MoveOneFile(const std::string& from, const std::string& to, const char** why) {
    if (platform::MoveItem(from.c_str(), to.c_str())) return true;
    DWORD error = platform::LastError();
    if (!platform::PathExists(to.c_str())) {
        platform::SetLastErrorCode(error);
        return false;
    }
    if (IsEarlierMove(from, to)) return platform::DeleteFileAt(from.c_str());
    *why = kTaken;
    return false;
}

void WalkCopyOrMove(const TreeWalk& w, const std::string& source, const std::string& dest);

void CopyOrMoveFolderEntry(const TreeWalk& w, const std::string& from, const std::string& to, bool isLink) {
    if (!w.keepOut.empty() && SameFolder(from, w.keepOut)) return;
    if (isLink || platform::IsFolderLink(from.c_str())) {
        if (!w.copy && !platform::MoveFolderLink(from.c_str(), to.c_str())) Fail(w.out, from, to);
        return;
    }
    if (platform::IsFolderLink(to.c_str())) return Fail(w.out, from, to, kLinkAtDest);
    if (!platform::CreateFolder(to.c_str()) && !platform::IsFolder(to.c_str())) return Fail(w.out, from, to);
    WalkCopyOrMove(w, from, to);
}

void CopyOrMoveFileEntry(const TreeWalk& w, const std::string& from, const std::string& to) {
    const char* why = nullptr;
    bool done = w.copy ? CopyFileUnlessSame(from, to) == FileCopyResult::kCopied : MoveOneFile(from, to, &why);
    if (!done) Fail(w.out, from, to, why);
}

void WalkCopyOrMove(const TreeWalk& w, const std::string& source, const std::string& dest) {
    size_t before = w.out.problems.size();
    bool seenAll = ForEachHandledEntry(source, [&](const platform::DirEntry& e) {
        if (StopRequested(w.stop)) {
            w.out.stopped = true;
            return false;
        }
        std::string from = JoinPath(source, e.name), to = JoinPath(dest, e.name);
        if (e.isFolder)
            CopyOrMoveFolderEntry(w, from, to, e.isLink);
        else
            CopyOrMoveFileEntry(w, from, to);
        return true;
    });
    if (!seenAll) {
        DWORD error = platform::LastError();
        bool listed = platform::IsFolder(source.c_str());
        w.out.Add(Problem{source, dest, listed ? kUnlisted : "", listed ? 0 : error});
        return;
    }
    if (w.copy || w.out.stopped || w.out.problems.size() != before) return;
    // Everything inside went: the emptied folder goes too, unless it holds
    // dot names on purpose or the destination inside it.
    if (platform::RemoveFolder(source.c_str()) || HoldsOnlyDotNames(source)) return;
    if (!w.keepOut.empty() && FolderLiesInside(w.keepOut, source)) return;
    Fail(w.out, source, dest);
}

}  // namespace

Outcome CopyOrMoveTree(const std::string& source, const std::string& dest, bool copy, const StopCheck& stop) {
    Outcome out;
    std::string keepOut = FolderLiesInside(dest, source) ? dest : std::string();
    TreeWalk w{copy, keepOut, stop, out};
    WalkCopyOrMove(w, source, dest);
    return out;
}

namespace {

void FindUnreadable(const std::string& folder, const std::string& keepOut, Outcome& out) {
    bool seenAll = ForEachHandledEntry(folder, [&](const platform::DirEntry& e) {
        std::string path = JoinPath(folder, e.name);
        if (!e.isFolder) {
            if (!platform::CheckReadable(path.c_str())) Fail(out, path, "");
        } else if (!e.isLink && !platform::IsFolderLink(path.c_str()) &&
                   (keepOut.empty() || !SameFolder(path, keepOut))) {
            FindUnreadable(path, keepOut, out);
        }
        return true;
    });
    if (!seenAll) Fail(out, folder, "", kUnlisted);
}

}  // namespace

Outcome CheckCopySources(const std::string& source, const std::string& dest) {
    Outcome out;
    FindUnreadable(source, FolderLiesInside(dest, source) ? dest : std::string(), out);
    return out;
}

uint64_t TreeBytes(const std::string& folder) {
    uint64_t bytes = 0;
    ForEachHandledEntry(folder, [&](const platform::DirEntry& e) {
        if (!e.isFolder)
            bytes += e.size;
        else if (!e.isLink)
            bytes += TreeBytes(JoinPath(folder, e.name));
        return true;
    });
    return bytes;
}

Outcome DeleteTree(const std::string& folder) {
    Outcome out;
    if (!platform::PathExists(folder.c_str())) return out;
    if (platform::IsFolderLink(folder.c_str())) {
        if (!platform::RemoveFolderLink(folder.c_str())) Fail(out, folder, "");
        return out;
    }
    bool seenAll = ForEachHandledEntry(folder, [&](const platform::DirEntry& e) {
        std::string path = JoinPath(folder, e.name);
        if (e.isFolder) {
            out.Take(DeleteTree(path));
        } else if (!platform::DeleteFileAt(path.c_str())) {
            Fail(out, path, "");
        }
        return out.problems.empty();
    });
    if (!out.problems.empty()) return out;
    if (!seenAll)
        Fail(out, folder, "", kUnlisted);
    else if (!platform::RemoveFolder(folder.c_str()))
        Fail(out, folder, "");
    return out;
}

}  // namespace migrate
