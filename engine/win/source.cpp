#include "source.h"

#include <algorithm>
#include <cstring>

#include "sha256.h"

namespace eng {

namespace {

constexpr size_t kStreamBuffer = 1 << 20;
constexpr size_t kWindow = 256 * 1024;

Code CodeFor(core::patchfile::Error e) {
    switch (e) {
    case core::patchfile::Error::badPath:
    case core::patchfile::Error::duplicatePath: return Code::unsafePath;
    case core::patchfile::Error::badVersion: return Code::patchVersion;
    case core::patchfile::Error::badMagic:
    case core::patchfile::Error::badSize: return Code::patchHeader;
    default: return Code::patchTable;
    }
}

}  // namespace

bool PatchSource::Open(const std::wstring& path, const std::string& shownName, Log& log) {
    name_ = shownName;
    if (!file_.OpenRead(path)) {
        log.Error(Code::patchOpen, name_, ::GetLastError());
        return false;
    }
    uint8_t head[core::patchfile::kHeaderSize];
    if (!file_.Size(&size_)) {
        log.Error(Code::patchRead, name_, ::GetLastError());
        return false;
    }
    if (size_ < sizeof(head)) {
        log.Error(Code::patchHeader, name_ + " (shorter than its header)");
        return false;
    }
    if (!file_.ReadAt(0, head, sizeof(head))) {
        log.Error(Code::patchRead, name_, ::GetLastError());
        return false;
    }
    core::patchfile::Header h;
    core::patchfile::Error e = core::patchfile::ParseHeader(head, sizeof(head), size_, &h);
    if (e != core::patchfile::Error::none) {
        log.Error(CodeFor(e), name_ + " (" + core::patchfile::ErrorText(e) + ")");
        return false;
    }
    version_ = h.version;
    return CheckHash(h, log) && ReadTable(h, log);
}

// Every byte after the hash field is covered, so a flipped or missing byte
// anywhere past offset 48 is caught here, before the table is trusted.
bool PatchSource::CheckHash(const core::patchfile::Header& h, Log& log) {
    core::sha256::Sha256 sha;
    std::vector<uint8_t> buf(kStreamBuffer);
    RangeReader range(file_, core::patchfile::kHashedFrom, size_ - core::patchfile::kHashedFrom);
    for (uint64_t left = size_ - core::patchfile::kHashedFrom; left > 0;) {
        size_t step = size_t(std::min<uint64_t>(left, buf.size()));
        if (!range.Read(buf.data(), step)) {
            log.Error(Code::patchRead, name_, ::GetLastError());
            return false;
        }
        sha.Update(buf.data(), step);
        left -= step;
    }
    if (std::memcmp(sha.Finish().bytes, h.sha256, 32) != 0) {
        log.Error(Code::patchChecksum, name_);
        return false;
    }
    return true;
}

bool PatchSource::ReadTable(const core::patchfile::Header& h, Log& log) {
    // The header parse has bounded tableSize by the file size and the format's
    // 64 MiB limit; the raw table is freed as soon as it is parsed.
    std::vector<uint8_t> table(h.tableSize);
    if (h.tableSize != 0 && !file_.ReadAt(core::patchfile::kHeaderSize, table.data(), table.size())) {
        log.Error(Code::patchRead, name_, ::GetLastError());
        return false;
    }
    core::patchfile::Error e = core::patchfile::ParseTable(table.data(), table.size(), h, &entries_);
    if (e != core::patchfile::Error::none) {
        log.Error(CodeFor(e), name_ + " (" + core::patchfile::ErrorText(e) + ")");
        return false;
    }
    return true;
}

namespace {

// Reads through `file` holding `lock` when there is one.
bool LockedReadAt(const File& file, std::mutex* lock, uint64_t offset, void* buf, size_t n) {
    if (lock == nullptr) return file.ReadAt(offset, buf, n);
    std::lock_guard<std::mutex> hold(*lock);
    return file.ReadAt(offset, buf, n);
}

}  // namespace

RangeReader::RangeReader(const File& file, uint64_t offset, uint64_t length, std::mutex* lock)
    : file_(file), lock_(lock), next_(offset), left_(length), buf_(size_t(std::min<uint64_t>(length, kStreamBuffer))) {}

bool RangeReader::Read(void* out, size_t n) {
    auto* p = static_cast<uint8_t*>(out);
    while (n > 0) {
        if (pos_ == fill_) {
            if (left_ == 0) {
                ::SetLastError(ERROR_HANDLE_EOF);
                return false;
            }
            size_t step = size_t(std::min<uint64_t>(left_, buf_.size()));
            if (!LockedReadAt(file_, lock_, next_, buf_.data(), step)) return false;
            next_ += step;
            left_ -= step;
            pos_ = 0;
            fill_ = step;
        }
        size_t take = std::min(n, fill_ - pos_);
        std::memcpy(p, buf_.data() + pos_, take);
        pos_ += take;
        p += take;
        n -= take;
    }
    return true;
}

WindowReader::WindowReader(const File& file, uint64_t size, std::mutex* lock)
    : file_(file), lock_(lock), size_(size), window_(kWindow) {}

bool WindowReader::ReadAt(uint64_t offset, void* out, size_t n) {
    if (offset > size_ || n > size_ - offset) {
        ::SetLastError(ERROR_HANDLE_EOF);
        return false;
    }
    // Large reads bypass the window; small ones are served from it.
    if (n >= window_.size()) return LockedReadAt(file_, lock_, offset, out, n);
    if (offset < windowStart_ || offset + n > windowStart_ + windowFill_) {
        size_t fill = size_t(std::min<uint64_t>(window_.size(), size_ - offset));
        if (!LockedReadAt(file_, lock_, offset, window_.data(), fill)) return false;
        windowStart_ = offset;
        windowFill_ = fill;
    }
    std::memcpy(out, window_.data() + (offset - windowStart_), n);
    return true;
}

}  // namespace eng
