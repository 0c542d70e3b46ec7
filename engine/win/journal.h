// The journal: a file in the working folder that makes a run recoverable.
//
// It holds the run's whole step list (written and flushed before the first
// step), then one record per step begun, flushed before the step acts (a
// batch of records may share one flush, see MayRecordAhead), and a final
// "committed" record. A run killed at any moment leaves either
// no journal (nothing was touched), a torn step list (nothing was touched
// either), or a list and its records: the next run undoes every step begun,
// or, after "committed", finishes the clean-up.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "step.h"
#include "winfile.h"

namespace eng {

const wchar_t* JournalName();

class JournalWriter {
public:
    // Creates the journal, a new file, with the step list. Error convention:
    // bool, system code in GetLastError(); IsOpen() tells whether the file
    // was made (and is the caller's to remove).
    bool Create(const std::wstring& path, const std::vector<Step>& steps);
    // Records steps first .. first + count - 1 as begun, with one flush.
    bool MarkBegun(uint32_t first, uint32_t count);
    bool MarkCommitted();
    void Close() { file_.Close(); }
    bool IsOpen() const { return file_.IsOpen(); }

private:
    bool Record(uint32_t tag, uint32_t first, uint32_t count);
    File file_;
};

struct JournalState {
    enum Kind { torn, open, committed, damaged } kind;
    std::vector<Step> steps;
    int64_t lastBegun = -1;  // -1: no step was begun
};

// For each step: whether its "begun" record may be made durable ahead of the
// step, in one flush with the record of an earlier step. That is so when
// the step's undo, should the step never have run, changes nothing, whatever
// part of the steps before it has run.
std::vector<bool> MayRecordAhead(const std::vector<Step>& steps);

// Reads a journal's bytes (the caller loaded the file).
JournalState ParseJournal(const std::vector<uint8_t>& bytes);
// Serialised step list with its trailer, as Create writes it.
std::vector<uint8_t> EncodeSteps(const std::vector<Step>& steps);

}  // namespace eng
