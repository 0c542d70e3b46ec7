// CopyFileUnlessSame: one file copied with its times, put in place whole.
#include <cstdint>
#include "common/path.h"
#include "migrate/tree.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/file_replace.h"
#include "platform/utf.h"

namespace migrate {
using namespace common;

static const char kWorkSuffix[] = ".~dvcopy";
static const char kShortWorkName[] = "~dvcopy.~dvcopy";
// Longest name a folder entry may have, in UTF-16 units.
static const size_t kMaxNameUnits = 255;

std::string WorkPathFor(const std::string& path) {
    std::string name = path.substr(FileNameStart(path));
    if (platform::WideLength(name.c_str()) + sizeof kWorkSuffix - 1 <= kMaxNameUnits) return path + kWorkSuffix;
    return JoinPath(FolderOf(path), kShortWorkName);
}

// Writes every byte of `src` into the new file `work`, with the source's
// times, and flushes it: what is moved into place next is whole on disk.
static FileCopyResult WriteWorkFile(HANDLE src, const std::string& work) {
    platform::Handle dst;
    // A stale work file is ours (a copy cut off by a kill). Deleting a name
    // never touches another name's file.
    platform::DeleteFileAt(work.c_str());
    if (!platform::CreateNew(work.c_str(), dst)) return FileCopyResult::kDestUnopened;
    int64_t copied = 0;
    FILETIME created, accessed, written;
    // The times come last: writing sets them.
    bool ok = platform::CopyBytes(src, dst.Get(), &copied) && platform::GetTimes(src, &created, &accessed, &written) &&
              platform::SetTimes(dst.Get(), &created, &accessed, &written) && platform::Flush(dst.Get());
    return ok ? FileCopyResult::kCopied : FileCopyResult::kCopyFailed;
}

FileCopyResult CopyFileUnlessSame(const std::string& from, const std::string& to) {
    if (PathsEqual(from, to)) return FileCopyResult::kCopied;
    bool same = false;
    if (platform::SameFile(from.c_str(), to.c_str(), &same) && same) return FileCopyResult::kCopied;
    platform::Handle src;
    if (!platform::OpenReadSharing(from.c_str(), src)) return FileCopyResult::kSourceUnopened;
    std::string work = WorkPathFor(to);
    FileCopyResult r = WriteWorkFile(src.Get(), work);
    if (r == FileCopyResult::kCopied && !platform::MoveFileReplacing(work.c_str(), to.c_str()))
        r = FileCopyResult::kDestUnopened;
    if (r != FileCopyResult::kCopied) {
        DWORD error = platform::LastError();
        platform::DeleteFileAt(work.c_str());
        platform::SetLastErrorCode(error);
    }
    return r;
}

}  // namespace migrate
