#include "journal.h"

#include <cstring>
#include <set>

namespace eng {

namespace {

constexpr uint32_t kMagic = 0x314A5644;      // "DVJ1"
constexpr uint32_t kPlanEnd = 0x4E414C50;    // "PLAN"
constexpr uint32_t kBegun = 0x4E474542;      // "BEGN"
constexpr uint32_t kCommitted = 0x544D4F43;  // "COMT"
constexpr size_t kRecord = 8;

void Put32(std::vector<uint8_t>* out, uint32_t v) {
    for (int i = 0; i < 4; i++) out->push_back(uint8_t(v >> (8 * i)));
}

uint32_t Fnv1a(const uint8_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 16777619u;
    return h;
}

// Bounds-checked reading of the journal's bytes.
class Cursor {
public:
    explicit Cursor(const std::vector<uint8_t>& b) : b_(b) {}
    bool Get32(uint32_t* v) {
        if (b_.size() - pos_ < 4) return false;
        *v = uint32_t(b_[pos_]) | uint32_t(b_[pos_ + 1]) << 8 | uint32_t(b_[pos_ + 2]) << 16 |
             uint32_t(b_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }
    bool Get16(uint16_t* v) {
        if (b_.size() - pos_ < 2) return false;
        *v = uint16_t(b_[pos_] | b_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool Get8(uint8_t* v) {
        if (pos_ >= b_.size()) return false;
        *v = b_[pos_++];
        return true;
    }
    size_t Pos() const { return pos_; }
    size_t Left() const { return b_.size() - pos_; }

private:
    const std::vector<uint8_t>& b_;
    size_t pos_ = 0;
};

bool ValidOp(uint8_t op) { return op >= uint8_t(Op::makeFolder) && op <= uint8_t(Op::removeFolder); }

bool ReadStep(Cursor& c, const std::vector<uint8_t>& bytes, Step* s) {
    uint8_t op;
    uint16_t len;
    if (!c.Get8(&op) || !c.Get32(&s->entry) || !c.Get32(&s->attributes) || !c.Get16(&len)) return false;
    if (!ValidOp(op) || len == 0 || c.Left() < size_t(len) * 2) return false;
    s->op = Op(op);
    s->path.resize(len);
    for (uint16_t i = 0; i < len; i++) {
        uint16_t ch = 0;
        c.Get16(&ch);
        s->path[i] = wchar_t(ch);
    }
    return true;
}

}  // namespace

const wchar_t* JournalName() { return L"patch.jnl"; }

std::vector<uint8_t> EncodeSteps(const std::vector<Step>& steps) {
    std::vector<uint8_t> out;
    Put32(&out, kMagic);
    Put32(&out, uint32_t(steps.size()));
    for (const Step& s : steps) {
        out.push_back(uint8_t(s.op));
        Put32(&out, s.entry);
        Put32(&out, s.attributes);
        out.push_back(uint8_t(s.path.size()));
        out.push_back(uint8_t(s.path.size() >> 8));
        for (wchar_t ch : s.path) {
            out.push_back(uint8_t(ch));
            out.push_back(uint8_t(ch >> 8));
        }
    }
    Put32(&out, Fnv1a(out.data(), out.size()));
    Put32(&out, kPlanEnd);
    return out;
}

JournalState ParseJournal(const std::vector<uint8_t>& bytes) {
    JournalState st{JournalState::torn, {}, -1};
    Cursor c(bytes);
    uint32_t magic, count;
    if (!c.Get32(&magic) || !c.Get32(&count)) return st;
    if (magic != kMagic) return JournalState{JournalState::damaged, {}, -1};
    // Each step takes at least 13 bytes: a count beyond that is a torn or
    // damaged list, and no allocation is made from it.
    if (count > c.Left() / 13) return st;
    std::vector<Step> steps(count);
    for (Step& s : steps)
        if (!ReadStep(c, bytes, &s)) return st;
    size_t listEnd = c.Pos();
    uint32_t sum, end;
    if (!c.Get32(&sum) || !c.Get32(&end) || end != kPlanEnd || sum != Fnv1a(bytes.data(), listEnd)) return st;
    st.kind = JournalState::open;
    st.steps = std::move(steps);
    // A record cut short by a kill was never followed by its step.
    while (c.Left() >= kRecord) {
        uint32_t tag = 0, index = 0;
        c.Get32(&tag);
        c.Get32(&index);
        if (tag == kBegun && int64_t(index) == st.lastBegun + 1 && index < st.steps.size()) {
            st.lastBegun = index;
        } else if (tag == kCommitted && st.lastBegun + 1 == int64_t(st.steps.size())) {
            st.kind = JournalState::committed;
        } else {
            st.kind = JournalState::damaged;
            return st;
        }
    }
    return st;
}

bool JournalWriter::Create(const std::wstring& path, const std::vector<Step>& steps) {
    std::vector<uint8_t> list = EncodeSteps(steps);
    // A new file: the run that came before removed its journal, so a file at
    // this name now is not ours to write into.
    return file_.CreateNew(path, FILE_SHARE_READ) && file_.Write(list.data(), list.size()) && file_.Flush();
}

// The records go out in one write: a kill cannot cut it, and a crash that
// keeps only a prefix leaves whole records for steps in order, then at most
// one torn record, which the reader ignores.
bool JournalWriter::Record(uint32_t tag, uint32_t first, uint32_t count) {
    std::vector<uint8_t> recs;
    recs.reserve(size_t(count) * kRecord);
    for (uint32_t i = 0; i < count; i++) {
        Put32(&recs, tag);
        Put32(&recs, first + i);
    }
    return file_.Write(recs.data(), recs.size()) && file_.Flush();
}

bool JournalWriter::MarkBegun(uint32_t first, uint32_t count) { return Record(kBegun, first, count); }

bool JournalWriter::MarkCommitted() { return Record(kCommitted, 0, 1); }

namespace {

bool IsCommitOp(Op op) {
    return op == Op::moveIn || op == Op::replace || op == Op::removeFile || op == Op::removeFolder;
}

}  // namespace

// Steps before the first commit step prepare: they make folders and work
// files at names nothing else in the run uses, and their undo removes what
// is absent. A replace's or removal's undo finds no backup and the old file
// or folder in place. A moveIn whose work file is staged during the
// preparation deletes that work file, or, when the stage had not run either,
// finds its target absent as the plan saw it. Not so a folder or file made in
// the commit phase where the run removes something first: undone before the
// removal happened, its undo would meet the old file or folder (and a moveIn
// whose stage never ran would delete the old file). Those keep a record and
// a flush of their own.
std::vector<bool> MayRecordAhead(const std::vector<Step>& steps) {
    size_t firstCommit = steps.size();
    for (size_t i = 0; i < steps.size() && firstCommit == steps.size(); i++)
        if (IsCommitOp(steps[i].op)) firstCommit = i;
    std::set<uint32_t> stagedEarly;
    for (size_t i = 0; i < firstCommit; i++)
        if (steps[i].op == Op::stage) stagedEarly.insert(steps[i].entry);
    std::vector<bool> ahead(steps.size());
    for (size_t i = 0; i < steps.size(); i++) {
        Op op = steps[i].op;
        ahead[i] = i < firstCommit || op == Op::replace || op == Op::removeFile || op == Op::removeFolder ||
                   (op == Op::moveIn && stagedEarly.count(steps[i].entry) != 0);
    }
    return ahead;
}

}  // namespace eng
