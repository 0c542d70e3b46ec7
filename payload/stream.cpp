#include "payload/stream.h"
#include <vector>
#include "platform/file.h"

namespace payload {

namespace {
constexpr DWORD kChunk = 4096;

// How much to ask for next: a whole chunk, or what is left of the limit.
DWORD NextRead(uint64_t remaining) { return remaining < kChunk ? static_cast<DWORD>(remaining) : kChunk; }

// Moves bytes until the source ends or `limit` bytes have gone.
CopyCode Pump(HANDLE src, HANDLE dst, uint64_t limit, std::vector<char>& buf) {
    uint64_t remaining = limit;
    while (remaining > 0) {
        DWORD got = 0;
        if (!platform::Read(src, buf.data(), NextRead(remaining), &got)) return CopyCode::kReadFailed;
        if (got == 0) {
            // The end of the source: done, unless it came before the limit.
            return limit == kCopyToEnd ? CopyCode::kOk : CopyCode::kReadFailed;
        }
        if (!platform::Write(dst, buf.data(), got)) return CopyCode::kWriteFailed;
        if (limit != kCopyToEnd) remaining -= got;
    }
    return CopyCode::kOk;
}
}  // namespace

CopyCode CopyStreamWithTimes(HANDLE source, HANDLE dest, uint64_t limit) {
    std::vector<char> buf(kChunk);
    CopyCode code = Pump(source, dest, limit, buf);
    FILETIME created, accessed, written;
    if (platform::GetTimes(source, &created, &accessed, &written))
        platform::SetTimes(dest, &created, &accessed, &written);
    return code;
}

}  // namespace payload
