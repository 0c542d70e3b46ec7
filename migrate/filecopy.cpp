// CopyFileUnlessSame: one file copied with its times through a 4096-byte
// buffer on the platform's file wrappers.
#include <cstdint>
#include "common/state.h"
#include "common/path.h"
#include "migrate/tree.h"
#include "platform/file.h"

// Copies every byte of `from` onto `to` from its first byte, cuts `to` to the
// copied length and gives it the source's times. Both handles are closed by
// their owners on return.
static int CopyBytesWithTimes(const char* from, const char* to) {
    platform::Handle src, dst;
    // The source lets writers in so that the destination can be opened for
    // writing when both names lead to one file.
    if (!platform::OpenReadSharing(from, src)) return kFileSourceUnopened;
    if (!platform::OpenReadWrite(to, dst)) return kFileDestUnopened;
    char buf[4096];
    int64_t copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!platform::Read(src.Get(), buf, sizeof buf, &got)) return kFileReadFailed;
        if (got == 0) break;
        if (!platform::Write(dst.Get(), buf, got)) return kFileWriteFailed;
        copied += got;
    }
    // Cutting sets the write time, so the times come last.
    if (!platform::Truncate(dst.Get(), copied)) return kFileWriteFailed;
    FILETIME created, accessed, written;
    if (!platform::GetTimes(src.Get(), &created, &accessed, &written)) return kFileReadFailed;
    if (!platform::SetTimes(dst.Get(), &created, &accessed, &written)) return kFileWriteFailed;
    return kFileCopied;
}

int CopyFileUnlessSame(const char* sourceFolder, const char* sourceName, const char* destFolder,
                       const char* destName) {
    if (PathsEqual(sourceFolder, destFolder) && PathsEqual(sourceName, destName)) return kFileCopied;
    char from[kPathCap], to[kPathCap];
    if (!JoinPath(from, sizeof from, sourceFolder, sourceName)) return kFileSourceUnopened;
    if (!JoinPath(to, sizeof to, destFolder, destName)) return kFileDestUnopened;
    return CopyBytesWithTimes(from, to);
}
