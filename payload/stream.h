// Stream copy shared by extraction and the file-tree copy.
#pragma once
#include <windows.h>
#include <cstdint>

// Result codes of CopyStreamWithTimes.
enum CopyCode {
    kCopyOk = 0,            // every byte asked for was copied
    kCopyNoSource = 1,      // the source cannot be opened (no path, empty path, open failed)
    kCopyNoDest = 2,        // the destination cannot be opened or created
    kCopyReadFailed = 3,    // a read failed, or the source ended before `limit` bytes
    kCopyWriteFailed = 4,   // a write to the destination failed
};

// No limit: copy to the source's end.
constexpr uint64_t kCopyToEnd = UINT64_MAX;

// Copies bytes from the source's current position through a 4096-byte heap
// buffer, then copies the three file times from source to destination
// (whatever the code; that step's failure is ignored).
// Each side is an open handle (used from its position, left open) or, when
// the handle is INVALID_HANDLE_VALUE, a path this call opens and closes:
// the source for reading, the destination for reading and writing, created
// when missing and never emptied, so a longer destination keeps its bytes
// beyond the copied ones (callers that need an exact copy cut it, or pass a
// fresh file). With `limit` other than kCopyToEnd, exactly `limit` bytes are
// copied, and a source that ends first gives kCopyReadFailed.
// Returns the code and also stores it in *result when result is not null.
int CopyStreamWithTimes(const char* sourcePath, HANDLE source, const char* destPath, HANDLE dest,
                        int* result, uint64_t limit = kCopyToEnd);

// Copies creation, last-access and last-write times of the open `source`
// to the open `dest`: 0 when both reading and setting them worked, 2 otherwise.
int CopyFileTimes(HANDLE source, HANDLE dest);
