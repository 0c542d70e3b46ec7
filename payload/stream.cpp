#include "payload/stream.h"
#include <vector>
#include "platform/file.h"

namespace {
constexpr DWORD kChunk = 4096;

// How much to ask for next: a whole chunk, or what is left of the limit.
DWORD NextRead(uint64_t remaining) {
    return remaining < kChunk ? static_cast<DWORD>(remaining) : kChunk;
}

// Moves bytes until the source ends or `limit` bytes have gone.
int Pump(HANDLE src, HANDLE dst, uint64_t limit, std::vector<char>& buf) {
    uint64_t remaining = limit;
    while (remaining > 0) {
        DWORD got = 0;
        if (!platform::Read(src, buf.data(), NextRead(remaining), &got)) return kCopyReadFailed;
        if (got == 0) {
            // The end of the source: done, unless it came before the limit.
            return limit == kCopyToEnd ? kCopyOk : kCopyReadFailed;
        }
        if (!platform::Write(dst, buf.data(), got)) return kCopyWriteFailed;
        if (limit != kCopyToEnd) remaining -= got;
    }
    return kCopyOk;
}
}  // namespace

int CopyFileTimes(HANDLE source, HANDLE dest) {
    FILETIME created, accessed, written;
    if (!platform::GetTimes(source, &created, &accessed, &written)) return 2;
    if (!platform::SetTimes(dest, &created, &accessed, &written)) return 2;
    return 0;
}

int CopyStreamWithTimes(const char* sourcePath, HANDLE source, const char* destPath, HANDLE dest,
                        int* result, uint64_t limit) {
    // The handles this call opens itself; passed-in ones are only borrowed.
    platform::Handle ownSource, ownDest;
    std::vector<char> buf(kChunk);
    int code = kCopyOk;
    if (source == INVALID_HANDLE_VALUE) {
        if (sourcePath && sourcePath[0] && platform::OpenRead(sourcePath, ownSource))
            source = ownSource.Get();
        else
            code = kCopyNoSource;
    }
    if (code == kCopyOk && dest == INVALID_HANDLE_VALUE) {
        if (destPath && destPath[0] && platform::OpenReadWrite(destPath, ownDest))
            dest = ownDest.Get();
        else
            code = kCopyNoDest;
    }
    if (code == kCopyOk) code = Pump(source, dest, limit, buf);
    // Times are copied whatever happened; with a side never opened there is
    // nothing to copy from or to, so that step is skipped.
    if (source != INVALID_HANDLE_VALUE && dest != INVALID_HANDLE_VALUE) CopyFileTimes(source, dest);
    if (result) *result = code;
    return code;
}
