#include "payload/container.h"
#include <cstring>
#include "payload/stream.h"
#include "platform/file.h"

bool IsAllAlphanumeric(const char* text) {
    if (text[0] == 0) return false;
    for (const char* p = text; *p; ++p) {
        char c = *p;
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (!ok) return false;
    }
    return true;
}

namespace {

constexpr int64_t kTrailerBytes = 8;
// Head tag, tail tag and the length field: the smallest sound block.
constexpr int64_t kBlockOverhead = 12;

// Reads exactly n bytes at `offset`; false on a failed seek or a short read.
bool ReadAt(HANDLE file, int64_t offset, void* buf, DWORD n) {
    DWORD got = 0;
    return platform::Seek(file, offset, FILE_BEGIN) && platform::Read(file, buf, n, &got) && got == n;
}

int32_t LittleEndian32(const unsigned char* b) {
    uint32_t v = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return static_cast<int32_t>(v);
}

// One trailer: the tail tag's four bytes and the block length.
struct Trailer {
    char tag[kTagText];
    int64_t length;
};

bool ReadTrailer(HANDLE file, int64_t offset, Trailer* t) {
    unsigned char raw[kTrailerBytes];
    if (offset < 0 || !ReadAt(file, offset, raw, sizeof raw)) return false;
    std::memcpy(t->tag, raw, kTagBytes);
    t->tag[kTagBytes] = 0;
    t->length = LittleEndian32(raw + kTagBytes);
    return true;
}

// The block must fit between the file's start and what the walk has already
// consumed, be at least as long as its own framing, and carry a text tag.
bool TrailerValid(const Trailer& t, int64_t consumed, int64_t fileSize) {
    return t.length >= kBlockOverhead && consumed + t.length <= fileSize && IsAllAlphanumeric(t.tag);
}

}  // namespace

void FindPayloadBlock(HANDLE file, char* tag, int64_t* blockStart, int64_t* blockEnd,
                      int64_t* fileSize) {
    // Zero-padded to four bytes, as tags are stored.
    char wanted[kTagBytes] = {};
    for (size_t i = 0; i < kTagBytes && tag[i]; ++i) wanted[i] = tag[i];
    tag[0] = 0;
    *blockStart = *blockEnd = *fileSize = 0;
    int64_t size = 0;
    if (!platform::Size(file, &size) || size < kTrailerBytes) return;
    *fileSize = *blockStart = *blockEnd = size;

    int64_t consumed = 0;
    Trailer t;
    while (ReadTrailer(file, size - consumed - kTrailerBytes, &t) && TrailerValid(t, consumed, size)) {
        int64_t start = size - consumed - t.length;
        char head[kTagBytes];
        if (!ReadAt(file, start, head, kTagBytes) || std::memcmp(head, t.tag, kTagBytes) != 0) return;
        bool match = std::memcmp(head, wanted, kTagBytes) == 0;
        if (!match) *blockEnd = start;
        std::memcpy(tag, t.tag, kTagText);
        *blockStart = start;
        consumed += t.length;
        if (match) return;
    }
}

namespace {

// Copies exactly `bytes` from `exe` (positioned at the payload) into the new
// file `outPath`; deletes the output again on any failure.
int CopyPayload(HANDLE exe, const char* outPath, int64_t bytes) {
    platform::Handle out;
    if (!platform::CreateNew(outPath, out)) return kExtractCannotOpen;
    int code = CopyStreamWithTimes(nullptr, exe, nullptr, out.Get(), nullptr, static_cast<uint64_t>(bytes));
    int64_t written = -1;
    if (code == kCopyOk && (!platform::Size(out.Get(), &written) || written != bytes))
        code = kExtractWrongSize;
    out.Reset();  // closed before deleting: a file is deleted only once closed
    if (code != kExtractOk) platform::DeleteFileAt(outPath);
    return code;
}

}  // namespace

int ExtractPayloadBlock(const char* exePath, const char* tag, const char* outPath) {
    platform::Handle exe;
    if (!exePath || !exePath[0] || !platform::OpenRead(exePath, exe)) return kExtractCannotOpen;
    char found[kTagText] = {};
    std::strncpy(found, tag, kTagBytes);
    int64_t start = 0, end = 0, size = 0;
    FindPayloadBlock(exe.Get(), found, &start, &end, &size);
    if (found[0] == 0 || std::strcmp(found, tag) != 0)
        return kExtractNoBlock;
    if (!platform::Seek(exe.Get(), start + kTagBytes, FILE_BEGIN)) return kExtractReadFailed;
    return CopyPayload(exe.Get(), outPath, end - start - kBlockOverhead);
}
