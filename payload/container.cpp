#include "payload/container.h"
#include <cstring>
#include "payload/stream.h"
#include "platform/file.h"
#include "engine/core/container_walk.h"

namespace payload {

namespace {

// The executable through its handle, for the shared walk.
class HandleSource : public core::container::Source {
public:
    explicit HandleSource(HANDLE file) : file_(file) {}
    bool ReadAt(int64_t offset, void* buf, size_t n) override {
        DWORD got = 0;
        return platform::Seek(file_, offset, FILE_BEGIN) && platform::Read(file_, buf, static_cast<DWORD>(n), &got) &&
               got == n;
    }

private:
    HANDLE file_;
};

}  // namespace

void FindPayloadBlock(HANDLE file, char* tag, int64_t* blockStart, int64_t* blockEnd, int64_t* fileSize) {
    // Zero-padded to four bytes, as tags are stored.
    char wanted[kTagBytes] = {};
    for (size_t i = 0; i < kTagBytes && tag[i]; ++i) wanted[i] = tag[i];
    tag[0] = 0;
    *blockStart = *blockEnd = *fileSize = 0;
    int64_t size = 0;
    if (!platform::Size(file, &size) || size < core::container::kTrailerBytes) return;
    *fileSize = size;
    HandleSource source(file);
    core::container::Walker walk(source, size);
    *blockStart = *blockEnd = walk.containerEnd();
    core::container::Block b;
    while (walk.Next(&b)) {
        bool match = std::memcmp(b.tag, wanted, kTagBytes) == 0;
        std::memcpy(tag, b.tag, kTagText);
        *blockStart = b.offset;
        if (match) {
            *blockEnd = b.offset + b.payload + core::container::kBlockOverhead;
            return;
        }
        *blockEnd = b.offset;
    }
}

namespace {

// Copies exactly `bytes` from `exe` (positioned at the payload) into the new
// file `outPath`; deletes the output again on any failure.
ExtractCode CopyPayload(HANDLE exe, const char* outPath, int64_t bytes) {
    platform::Handle out;
    if (!platform::CreateNew(outPath, out)) return ExtractCode::kCannotOpen;
    ExtractCode code = ExtractCode::kOk;
    int64_t written = -1;
    switch (CopyStreamWithTimes(exe, out.Get(), static_cast<uint64_t>(bytes))) {
    case CopyCode::kReadFailed: code = ExtractCode::kReadFailed; break;
    case CopyCode::kWriteFailed: code = ExtractCode::kWriteFailed; break;
    case CopyCode::kOk:
        if (!platform::Size(out.Get(), &written) || written != bytes) code = ExtractCode::kWrongSize;
        break;
    }
    out.Reset();  // closed before deleting: a file is deleted only once closed
    if (code != ExtractCode::kOk) platform::DeleteFileAt(outPath);
    return code;
}

}  // namespace

ExtractCode ExtractPayloadBlock(const char* exePath, const char* tag, const char* outPath) {
    platform::Handle exe;
    if (!exePath || !exePath[0] || !platform::OpenRead(exePath, exe)) return ExtractCode::kCannotOpen;
    char found[kTagText] = {};
    std::strncpy(found, tag, kTagBytes);
    int64_t start = 0, end = 0, size = 0;
    FindPayloadBlock(exe.Get(), found, &start, &end, &size);
    if (found[0] == 0 || std::strcmp(found, tag) != 0) return ExtractCode::kNoBlock;
    if (!platform::Seek(exe.Get(), start + kTagBytes, FILE_BEGIN)) return ExtractCode::kReadFailed;
    return CopyPayload(exe.Get(), outPath, end - start - core::container::kBlockOverhead);
}

}  // namespace payload
