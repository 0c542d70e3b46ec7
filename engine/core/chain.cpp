// Analyze: the versions of every named path along the chain, checked against
// the caller's views, lazily (sizes first, a hash only on equal size, each
// path's answers kept so that no view is asked twice).
#include "chain.h"

#include <cstdint>
#include <cstring>
#include <map>

#include "ascii.h"
#include "sha256.h"

namespace core::chain {

namespace {

using patchfile::Entry;
using patchfile::Kind;

// A version; sha points into an entry of the steps.
struct State {
    Expected::Kind kind;
    uint64_t size;
    const uint8_t* sha;
};

State Before(const Entry& e) {
    switch (e.kind) {
    case Kind::changeFile:
    case Kind::removeFile: return {Expected::file, e.oldSize, e.oldSha};
    case Kind::removeFolder: return {Expected::folder, 0, nullptr};
    default: return {Expected::absent, 0, nullptr};
    }
}

State After(const Entry& e) {
    switch (e.kind) {
    case Kind::addFile:
    case Kind::changeFile: return {Expected::file, e.newSize, e.newSha};
    case Kind::makeFolder: return {Expected::folder, 0, nullptr};
    default: return {Expected::absent, 0, nullptr};
    }
}

bool Same(const State& a, const State& b) {
    return a.kind == b.kind && (a.kind != Expected::file || (a.size == b.size && memcmp(a.sha, b.sha, 32) == 0));
}

std::string Describe(const State& s) {
    if (s.kind == Expected::absent) return "nothing";
    if (s.kind == Expected::folder) return "a folder";
    sha256::Digest d;
    memcpy(d.bytes, s.sha, 32);
    return "a file of " + std::to_string(s.size) + " bytes (SHA-256 " + d.Hex().substr(0, 16) + "...)";
}

bool IsRemoval(Kind k) { return k == Kind::removeFile || k == Kind::removeFolder; }

// A step that names a path: its first entry there says what the step
// expects, its last what it leaves (a removal and then a creation turn a
// file into a folder or the reverse).
struct Touch {
    int step;
    const Entry* first;
    const Entry* last;
};

// One view's answers for one path.
struct Seen {
    bool looked = false;
    Found found{Found::absent, 0};
    int hashed = 0;  // 0: not asked; 1: sha holds the hash; -1: the file could not be read
    uint8_t sha[32];
};

struct Path {
    const std::string* name;     // as the first step that names it spells it
    std::vector<Touch> touches;  // in step order
    Seen tree, overlay;
    State now;  // while the work is worked out: the state before the step at hand
};

class Analyzer {
public:
    Analyzer(const std::vector<const std::vector<Entry>*>& steps, TreeView& tree, TreeView* overlay)
        : steps_(steps), tree_(tree), overlay_(overlay) {}

    bool Collect(std::string* broken);
    size_t Misfits(int k, bool all, std::vector<Mismatch>* out);
    bool OverlayUsed();
    std::vector<StepWork> Work(int done);

private:
    struct Where {
        Seen* seen;
        TreeView* view;
        bool overlay;
    };
    State Version(const Path& p, int k) const;
    bool FolderMayStay(const Path& p, int k) const;
    int StepFor(const Path& p, int k) const;
    Seen& Looked(Seen& s, TreeView& view, const std::string& name);
    Where At(Path& p, int k);
    bool Fits(const Path& p, Where w, const State& v, bool folderMayStay, bool* hashDiffers);

    const std::vector<const std::vector<Entry>*>& steps_;
    TreeView& tree_;
    TreeView* overlay_;
    std::map<std::string, Path> paths_;  // by the path folded to lower-case ASCII
};

bool Analyzer::Collect(std::string* broken) {
    for (int j = 0; j < int(steps_.size()); j++) {
        for (const Entry& e : *steps_[j]) {
            Path& p = paths_[ascii::Folded(e.path)];
            if (p.touches.empty()) p.name = &e.path;
            if (p.touches.empty() || p.touches.back().step != j) {
                p.touches.push_back({j, &e, &e});
                continue;
            }
            Touch& t = p.touches.back();
            if (t.first != t.last || !IsRemoval(t.first->kind) || IsRemoval(e.kind)) {
                *broken = *p.name + ": named twice by patch " + std::to_string(j + 1);
                return false;
            }
            t.last = &e;
        }
    }
    for (auto& [key, p] : paths_) {
        for (size_t i = 1; i < p.touches.size(); i++) {
            const Touch &was = p.touches[i - 1], &is = p.touches[i];
            State left = After(*was.last), expected = Before(*is.first);
            if (Same(left, expected)) continue;
            *broken = *p.name + ": patch " + std::to_string(is.step + 1) + " expects " + Describe(expected) +
                      ", patch " + std::to_string(was.step + 1) + " leaves " + Describe(left);
            return false;
        }
    }
    return true;
}

// The version after k steps: what the first step from k on that names the
// path expects, else what the last one left.
State Analyzer::Version(const Path& p, int k) const {
    for (const Touch& t : p.touches)
        if (t.step >= k) return Before(*t.first);
    return After(*p.touches.back().last);
}

// Whether a folder may stand where the version after k is nothing: unless
// the next step that names the path adds a file there.
bool Analyzer::FolderMayStay(const Path& p, int k) const {
    for (const Touch& t : p.touches)
        if (t.step >= k) return t.first->kind != Kind::addFile;
    return true;
}

int Analyzer::StepFor(const Path& p, int k) const {
    for (const Touch& t : p.touches)
        if (t.step >= k) return t.step;
    return p.touches.back().step;
}

Seen& Analyzer::Looked(Seen& s, TreeView& view, const std::string& name) {
    if (!s.looked) {
        s.found = view.Look(name);
        s.looked = true;
    }
    return s;
}

// Where the path's state at point k is read: at point 0 the copy puts the
// overlay's file over the tree's (and makes its folder where there is none).
Analyzer::Where Analyzer::At(Path& p, int k) {
    if (k == 0 && overlay_) {
        Found::Kind o = Looked(p.overlay, *overlay_, *p.name).found.kind;
        if (o == Found::file || o == Found::unreadable ||
            (o == Found::folder && Looked(p.tree, tree_, *p.name).found.kind == Found::absent))
            return {&p.overlay, overlay_, true};
    }
    return {&Looked(p.tree, tree_, *p.name), &tree_, false};
}

bool Analyzer::Fits(const Path& p, Where w, const State& v, bool folderMayStay, bool* hashDiffers) {
    Seen& s = *w.seen;
    switch (s.found.kind) {
    case Found::absent: return v.kind != Expected::file;
    case Found::folder: return v.kind == Expected::folder || (v.kind == Expected::absent && folderMayStay);
    case Found::unreadable: return false;
    case Found::file: break;
    }
    if (v.kind != Expected::file || s.found.size != v.size) return false;
    if (s.hashed == 0) s.hashed = w.view->Hash(*p.name, s.sha) ? 1 : -1;
    if (s.hashed < 0) return false;
    if (memcmp(s.sha, v.sha, 32) == 0) return true;
    *hashDiffers = true;
    return false;
}

// How many paths fit neither version at point k; unless all, stops at the
// first. out: those paths.
size_t Analyzer::Misfits(int k, bool all, std::vector<Mismatch>* out) {
    const int n = int(steps_.size());
    size_t count = 0;
    for (auto& [key, p] : paths_) {
        Where w = At(p, k);
        bool hashDiffers = false;
        State v = Version(p, k);
        if (Fits(p, w, v, FolderMayStay(p, k), &hashDiffers)) continue;
        if (k < n && Fits(p, w, Version(p, k + 1), FolderMayStay(p, k + 1), &hashDiffers)) continue;
        count++;
        if (out) {
            Mismatch m{*p.name, StepFor(p, k), {v.kind, v.size, {}}, w.seen->found, hashDiffers, w.overlay};
            if (v.kind == Expected::file) memcpy(m.expected.sha, v.sha, 32);
            if (w.seen->hashed < 0) m.found.kind = Found::unreadable;
            out->push_back(m);
        }
        if (!all) break;
    }
    return count;
}

// Whether some path fits point 0 only as the overlay has it.
bool Analyzer::OverlayUsed() {
    bool used = false;
    for (auto& [key, p] : paths_) {
        if (!At(p, 0).overlay) continue;
        Where w{&Looked(p.tree, tree_, *p.name), &tree_, false};
        bool ignored = false;
        if (!Fits(p, w, Version(p, 0), FolderMayStay(p, 0), &ignored) &&
            !(steps_.size() > 0 && Fits(p, w, Version(p, 1), FolderMayStay(p, 1), &ignored)))
            used = true;
    }
    return used;
}

// The entries of steps done .. n-1 that will act, from the tree as found
// (which fits point done): each path's state is carried from step to step.
std::vector<StepWork> Analyzer::Work(int done) {
    const int n = int(steps_.size());
    std::vector<StepWork> work(n - done);
    if (done == n) return work;
    for (auto& [key, p] : paths_) {
        Where w = At(p, done);
        bool ignored = false;
        switch (w.seen->found.kind) {
        case Found::file: {
            State next = Version(p, done + 1);
            p.now = Fits(p, w, next, true, &ignored) ? next : Version(p, done);
            break;
        }
        case Found::folder: p.now = {Expected::folder, 0, nullptr}; break;
        default: p.now = {Expected::absent, 0, nullptr}; break;
        }
    }
    for (int j = done; j < n; j++) {
        StepWork& out = work[j - done];
        for (const Entry& e : *steps_[j]) {
            Path& p = paths_[ascii::Folded(e.path)];
            const Entry* recreated = nullptr;
            for (const Touch& t : p.touches)
                if (t.step == j && t.first == &e && t.last != &e) recreated = t.last;
            // Done already: in its new state, or a removal whose path holds
            // what the creation after it makes.
            State after = After(e);
            if (Same(p.now, after) || (recreated && Same(p.now, After(*recreated)))) continue;
            p.now = after;
            switch (e.kind) {
            case Kind::makeFolder: out.makeFolders.push_back(e.path); break;
            case Kind::addFile: out.add.push_back(e.path); break;
            case Kind::changeFile: out.replace.push_back(e.path); break;
            case Kind::removeFile: out.remove.push_back(e.path); break;
            case Kind::removeFolder: out.removeFolders.push_back(e.path); break;
            }
            if (e.kind == Kind::addFile || e.kind == Kind::changeFile) out.newBytes += e.newSize;
            if (e.kind == Kind::changeFile || e.kind == Kind::removeFile) out.oldBytes += e.oldSize;
        }
    }
    return work;
}

}  // namespace

Analysis Analyze(const std::vector<const std::vector<patchfile::Entry>*>& steps, TreeView& tree, TreeView* overlay) {
    Analysis a;
    Analyzer z(steps, tree, overlay);
    if (!z.Collect(&a.broken)) return a;
    const int n = int(steps.size());
    for (int k = n; k >= 0 && a.done < 0; k--)
        if (z.Misfits(k, false, nullptr) == 0) a.done = k;
    if (a.done < 0) {
        int closest = n;
        size_t fewest = SIZE_MAX;
        for (int k = n; k >= 0; k--) {
            size_t c = z.Misfits(k, true, nullptr);
            if (c < fewest) fewest = c, closest = k;
        }
        z.Misfits(closest, true, &a.mismatches);
        return a;
    }
    a.overlayUsed = a.done == 0 && overlay && z.OverlayUsed();
    a.work = z.Work(a.done);
    return a;
}

}  // namespace core::chain
