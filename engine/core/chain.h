// A chain of patch steps against an install folder, worked out before any of
// them runs: how many steps the folder has already had, whether the rest of
// the chain will apply, and what the rest will touch. Pure analysis: the
// caller's TreeView looks at the disk; nothing here does I/O or keeps state
// between calls.
//
// Each path some step names has a version after each point j (j steps
// applied, 0..n): before the first step that names it, what that step
// expects (the old file of a change or removal, nothing for an addition or a
// folder made, a folder for a folder removed); after a step that names it,
// what that step leaves; unchanged through steps that do not name it. Paths
// compare as the patch format compares them (ASCII letters without case).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "patchfile.h"

namespace core::chain {

// What a view finds at a path. size: a file's size in bytes, else 0.
// unreadable: the path cannot be examined (also a file whose hash failed).
struct Found {
    enum Kind { absent, file, folder, unreadable } kind;
    uint64_t size;
};

// The caller's view of a folder tree. Paths are relative, UTF-8 and
// '\\'-separated, spelled as an entry of the steps spells them; a view
// matches them as the file system does (ASCII letters without case at
// least). Analyze asks each path of a view at most once for Look and at most
// once for Hash, and Hash only for a file whose size is that of a version it
// is compared with.
class TreeView {
public:
    virtual ~TreeView() = default;
    // The kind and size of what is at path; cheap: no content is read.
    virtual Found Look(const std::string& path) = 0;
    // The SHA-256 of the file at path into sha; false when it cannot be read.
    virtual bool Hash(const std::string& path, uint8_t sha[32]) = 0;
};

// A path's version at a point of the chain. folder: a folder, or nothing (a
// folder the chain makes may be missing). absent: nothing, or a folder (one
// the chain removed may stay, holding a user's files) unless the next step
// that names the path adds a file there.
struct Expected {
    enum Kind { absent, folder, file } kind;
    uint64_t size;    // file: its size; else 0
    uint8_t sha[32];  // file: its SHA-256; else zeros
};

// A path that fits neither version of the closest point k.
struct Mismatch {
    std::string path;   // as the first step that names it spells it
    int step;           // index into steps: the first step from k on that names the path (the one that would
                        // refuse it), else the last one that named it (the one whose result it no longer is)
    Expected expected;  // the path's version at point k
    Found found;
    bool hashDiffers;  // found a file of a compared version's size, with other content
    bool fromOverlay;  // k == 0 and found is the overlay's, which the copy would put over the tree's
};

// What one step still to run will do to the tree as found: only the entries
// that will act (one already in its new state, as in a step cut short, is
// left out), paths as the entries spell them, in the step's order.
struct StepWork {
    std::vector<std::string> replace;        // files changed: new content over old
    std::vector<std::string> remove;         // files removed
    std::vector<std::string> removeFolders;  // folders removed (the engine keeps one holding files it does not know)
    std::vector<std::string> add;            // files added
    std::vector<std::string> makeFolders;    // folders made
    uint64_t newBytes = 0;                   // new sizes of the files added and replaced
    uint64_t oldBytes = 0;                   // old sizes of the files replaced and removed
};

struct Analysis {
    // Steps already applied, 0..n: the largest point k at which every named
    // path is in its version after k or (k < n) after k + 1 (the next step
    // may have been cut short; the engine's journal finishes or undoes it).
    // -1: the tree fits no point, or the chain is broken.
    int done = -1;
    // done == 0 and some path fits only as the overlay has it: the copy will
    // put it there.
    bool overlayUsed = false;
    // done == -1 (chain not broken): for the point k with the fewest
    // mismatches (ties: the larger k), every path that fits neither version
    // at k, in path order (ASCII without case).
    std::vector<Mismatch> mismatches;
    // One per step still to run: steps done .. n-1.
    std::vector<StepWork> work;
    // Non-empty: the steps themselves do not chain (a bad build): names the
    // path and the two steps (counted from 1) whose versions differ, or the
    // step that names a path twice. Nothing else is filled in.
    std::string broken;
};

// steps: each step's entries in the order they apply, as ParseTable gives
// them (the pointers non-null; they need to live only during the call).
// tree: the install folder. overlay: the folder whose files a copy puts
// over the tree (replacing the tree's) before the first step, and only then;
// null when there is none. At point 0 a path the overlay holds a file at
// (or a folder, where the tree has nothing) is judged as the overlay has it.
// Throws nothing but std::bad_alloc; memory grows with the entries.
Analysis Analyze(const std::vector<const std::vector<patchfile::Entry>*>& steps, TreeView& tree, TreeView* overlay);

}  // namespace core::chain
