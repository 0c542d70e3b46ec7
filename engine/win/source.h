// The patch file as the engine reads it: checked whole (size, header, the
// SHA-256 of everything after the hash field, every table entry) before any
// entry is acted on, then read piece by piece for each file's data.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "delta.h"
#include "log.h"
#include "patchfile.h"
#include "winfile.h"

namespace eng {

class PatchSource {
public:
    // Opens and validates; on failure logs why and returns false.
    bool Open(const std::wstring& path, const std::string& shownName, Log& log);
    const std::vector<core::patchfile::Entry>& Entries() const { return entries_; }
    const File& Data() const { return file_; }
    uint32_t Version() const { return version_; }  // the format version, known to ParseHeader

private:
    bool CheckHash(const core::patchfile::Header& h, Log& log);
    bool ReadTable(const core::patchfile::Header& h, Log& log);

    File file_;
    uint64_t size_ = 0;
    uint32_t version_ = 0;
    std::string name_;
    std::vector<core::patchfile::Entry> entries_;
};

// A byte range of an open file read in order through a fixed buffer: an
// entry's data in the patch file. Reading beyond the range fails. With
// `lock`, every read of the file holds it (readers on several threads
// share the file's pointer).
class RangeReader : public core::delta::InStream {
public:
    RangeReader(const File& file, uint64_t offset, uint64_t length, std::mutex* lock = nullptr);
    bool Read(void* buf, size_t n) override;

private:
    const File& file_;
    std::mutex* lock_;
    uint64_t next_;  // file offset of the next byte to fetch
    uint64_t left_;  // bytes of the range not yet fetched
    std::vector<uint8_t> buf_;
    size_t pos_ = 0, fill_ = 0;
};

// The old file for core::delta::Apply: random reads served from one cached
// window. `lock` as for RangeReader.
class WindowReader : public core::delta::OldReader {
public:
    WindowReader(const File& file, uint64_t size, std::mutex* lock = nullptr);
    bool ReadAt(uint64_t offset, void* buf, size_t n) override;

private:
    const File& file_;
    std::mutex* lock_;
    uint64_t size_;
    std::vector<uint8_t> window_;
    uint64_t windowStart_ = 0;
    size_t windowFill_ = 0;
};

}  // namespace eng
