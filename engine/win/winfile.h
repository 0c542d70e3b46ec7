// Files and folders through the wide Win32 API, with 64-bit offsets.
// Error convention (as in the updater's platform layer): functions return
// bool, and on false the system's code is left in GetLastError().
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "owners.h"

namespace eng {

class File {
public:
    // Read access; share lets others read (FILE_SHARE_READ) so that a writer
    // holding the file makes the open fail with a sharing violation.
    bool OpenRead(const std::wstring& path);
    // A new file that must not exist yet (CREATE_NEW), for writing: never an
    // existing file, nor one a link at that name leads to. share: what others
    // may do while it is open (the log and the journal let readers in).
    bool CreateNew(const std::wstring& path, DWORD share = 0);

    bool Size(uint64_t* size) const;
    // Exactly n bytes at offset, or false (ERROR_HANDLE_EOF when short).
    // Both move the file pointer: one thread at a time.
    bool ReadAt(uint64_t offset, void* buf, size_t n) const;
    bool WriteAt(uint64_t offset, const void* buf, size_t n) const;
    // Exactly n bytes at the current position.
    bool Read(void* buf, size_t n) const;
    // Up to n bytes; *got = 0 at the end.
    bool ReadSome(void* buf, size_t n, size_t* got) const;
    bool Write(const void* buf, size_t n) const;
    bool Flush() const;
    // Gives this file the times of `other` (a copy keeps its original's).
    bool TakeTimes(const File& other) const;
    void Close() { h_.Reset(); }
    bool IsOpen() const { return h_.Valid(); }

private:
    Handle h_;
};

enum class Presence { absent, file, folder };

// What is at path. False only when the answer is unknown (e.g. access
// denied); a missing file or a missing parent folder is `absent`.
bool Inspect(const std::wstring& path, Presence* what, DWORD* attributes);
bool Exists(const std::wstring& path);

// Deletes a file's name even when it is read-only. True when it is gone,
// also when it was never there. Another name of the same file (a hard link)
// keeps the file's content and its read-only attribute.
bool ForceDelete(const std::wstring& path);
// Whether the name is a link to a file or folder elsewhere: a reparse point
// (a symbolic link or junction on Windows), or a name whose final path is
// not itself (Wine shows a Linux symbolic link to a file as a plain file,
// and deleting it there deletes the file it leads to). A hard link is a name
// of its own, not a link here. False when the name does not exist.
bool IsLink(const std::wstring& path);
// Whether both names lead to one file (hard links). False when either
// cannot be opened.
bool SameFile(const std::wstring& a, const std::wstring& b);
// Clears the read-only attribute if set.
bool ClearReadOnly(const std::wstring& path);

bool IsMissingError(DWORD code);

}  // namespace eng
