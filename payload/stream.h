// The byte copy under extraction: handle to handle, with the file times.
#pragma once
#include <windows.h>
#include <cstdint>

namespace payload {

// Results of CopyStreamWithTimes.
enum class CopyCode {
    kOk,           // every byte asked for was copied
    kReadFailed,   // a read failed, or the source ended before `limit` bytes
    kWriteFailed,  // a write to the destination failed
};

// No limit: copy to the source's end.
constexpr uint64_t kCopyToEnd = UINT64_MAX;

// Copies bytes from `source`'s current position to `dest`'s through a
// 4096-byte heap buffer, then copies the three file times from source to
// dest (whatever the code; that step's failure is ignored). Both handles are
// the caller's and stay open. With `limit` other than kCopyToEnd, exactly
// `limit` bytes are copied, and a source that ends first gives CopyCode::kReadFailed.
CopyCode CopyStreamWithTimes(HANDLE source, HANDLE dest, uint64_t limit = kCopyToEnd);

}  // namespace payload
