// CopyFileUnlessSame: one file copied with its times on the platform's file
// wrappers.
#include <cstdint>
#include "common/path.h"
#include "common/state.h"
#include "migrate/tree.h"
#include "platform/file.h"

namespace migrate {
using namespace common;

// Copies every byte of `from` onto `to` from its first byte, cuts `to` to the
// copied length and gives it the source's times. Both handles are closed by
// their owners on return.
static FileCopyResult CopyBytesWithTimes(const char* from, const char* to) {
    platform::Handle src, dst;
    // The source lets writers in so that the destination can be opened for
    // writing when both names lead to one file.
    if (!platform::OpenReadSharing(from, src)) return FileCopyResult::kSourceUnopened;
    if (!platform::OpenReadWrite(to, dst)) return FileCopyResult::kDestUnopened;
    int64_t copied = 0;
    FILETIME created, accessed, written;
    // Cutting sets the write time, so the times come last.
    bool ok = platform::CopyBytes(src.Get(), dst.Get(), &copied) && platform::Truncate(dst.Get(), copied) &&
              platform::GetTimes(src.Get(), &created, &accessed, &written) &&
              platform::SetTimes(dst.Get(), &created, &accessed, &written);
    return ok ? FileCopyResult::kCopied : FileCopyResult::kCopyFailed;
}

FileCopyResult CopyFileUnlessSame(const char* sourceFolder, const char* sourceName, const char* destFolder,
                                  const char* destName) {
    if (PathsEqual(sourceFolder, destFolder) && PathsEqual(sourceName, destName)) return FileCopyResult::kCopied;
    char from[kPathCap], to[kPathCap];
    if (!JoinPath(from, sizeof from, sourceFolder, sourceName)) return FileCopyResult::kSourceUnopened;
    if (!JoinPath(to, sizeof to, destFolder, destName)) return FileCopyResult::kDestUnopened;
    return CopyBytesWithTimes(from, to);
}

}  // namespace migrate
