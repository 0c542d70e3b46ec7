// Files: raw byte I/O, status, names. Paths are UTF-8. See README.md for the
// error convention.
#pragma once
#include <windows.h>
#include <cstdint>
#include <string>
#include "platform/handles.h"

namespace platform {

// Opens for reading; others may read too. Fails on a missing file.
bool OpenRead(const char* path, Handle& out);
// Opens for reading and writing; creates the file when missing, never empties it.
bool OpenReadWrite(const char* path, Handle& out);
// Opens or creates a log for appending. A name that is a link (reparse
// point), a hard link to another name, or a folder is refused
// (ERROR_CANT_ACCESS_FILE): a log named by an administrator is not
// written through something another user put at that name. Every write
// lands at the end, whoever else appends; others may read and append to the
// log, move it and delete it while it is open.
bool OpenLogFile(const char* path, Handle& out);
// Opens an existing file for reading and writing; never creates it.
bool OpenExistingReadWrite(const char* path, Handle& out);
// Creates a new file; fails when the name exists already (no planting, no reuse).
bool CreateNew(const char* path, Handle& out);
// Opens for reading and lets others read and write meanwhile, so one file
// can be open once to read and once to write (a copy onto itself).
bool OpenReadSharing(const char* path, Handle& out);

// Reads the whole file into `out`. Fails with ERROR_FILE_TOO_LARGE, reading
// nothing, when it is longer than `maxBytes`; a file that shrinks while it is
// read gives what was there.
bool ReadWholeFile(const char* path, int64_t maxBytes, std::string& out);
// Reads up to n bytes; *got is 0 at the end of the file.
bool Read(HANDLE h, void* buf, DWORD n, DWORD* got);
// Writes all n bytes or fails.
bool Write(HANDLE h, const void* buf, DWORD n);
bool Seek(HANDLE h, int64_t offset, DWORD origin, int64_t* newPos = nullptr);
bool Size(HANDLE h, int64_t* size);
// Cuts (or extends) the file at `size`.
bool Truncate(HANDLE h, int64_t size);
// Makes what was written reach the disk (FlushFileBuffers).
bool Flush(HANDLE h);
bool GetTimes(HANDLE h, FILETIME* created, FILETIME* accessed, FILETIME* written);
bool SetTimes(HANDLE h, const FILETIME* created, const FILETIME* accessed, const FILETIME* written);

// True when the path names an existing file or folder.
bool PathExists(const char* path);
// Attributes, times and size of a file or folder (GetFileAttributesExW).
bool Attributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA* out);
bool IsFolder(const char* path);
bool DeleteFileAt(const char* path);
// Moves a file or folder; never replaces an existing destination; works across volumes.
bool MoveItem(const char* from, const char* to);
// Renames a file or folder on its volume (no copy: fails with
// ERROR_NOT_SAME_DEVICE across volumes); never replaces an existing
// destination. A folder goes whole, with what it holds.
bool RenameItem(const char* from, const char* to);
// Sets or clears the read-only attribute of a file.
bool SetReadOnly(const char* path, bool on);
// Opens the file or folder for deletion (a folder link as itself where the
// system can) and closes it again: fails (ERROR_SHARING_VIOLATION) while
// someone holds it open without allowing that, which is when it can be
// neither moved, renamed nor deleted. A folder is held so by a process whose
// current directory it is (a command prompt open in it), or that has a file
// or folder inside it as its current directory.
bool CheckMovable(const char* path);
// Opens the file for reading as a copy of it does (others may read and
// write meanwhile) and closes it again: fails with ERROR_SHARING_VIOLATION
// while another program holds it open without sharing.
bool CheckReadable(const char* path);
// Makes what was written to the existing file `path` reach the disk: opens
// it for writing (others may read) and flushes it (FlushFileBuffers).
bool FlushFileAt(const char* path);
// Opens the file the way a replacement needs it (delete and write, every
// sharing allowed) and closes it again, changing nothing. Fails with
// ERROR_SHARING_VIOLATION or ERROR_LOCK_VIOLATION while another program
// holds it open without allowing that (a running program's own image
// included), ERROR_ACCESS_DENIED without the rights. A read-only file is
// asked for deletion only: whoever replaces it clears the attribute first.
bool CheckReplaceable(const char* path);
// Creates a new file in `folder` that is deleted again when closed, and
// closes it: whether this process may make files there. Fails with the
// system's reason (ERROR_ACCESS_DENIED without the rights).
bool CheckCanCreateIn(const char* folder);

// Copies from `from`'s position to its end onto `to`'s position through a
// 4096-byte buffer; *copied counts the bytes written. Fails on the first
// failed read or write.
bool CopyBytes(HANDLE from, HANDLE to, int64_t* copied);
// Sets *same to whether both paths name one file or folder (same volume
// serial and file index, whatever the spellings or links). Fails, leaving
// *same false, when either cannot be opened.
bool SameFile(const char* a, const char* b, bool* same);

// The running executable's full path.
bool ModulePath(std::string& out);
// The Windows folder ("C:\windows").
bool WindowsFolder(std::string& out);
// An environment variable's value; fails when unset (ERROR_ENVVAR_NOT_FOUND).
bool EnvironmentValue(const char* name, std::string& out);
// `text` with its "%NAME%" variables replaced by their values, as the
// system's command processor would (an unset one stays as written).
bool ExpandVariables(const char* text, std::string& out);

}  // namespace platform

namespace platform {

// The full, absolute form of `path` (GetFullPathNameW), at any length.
bool FullPath(const char* path, std::string& out);
// The 8.3 short form of an existing file or folder as the file system holds
// it (GetShortPathNameW); the long form where a name has no short one.
// Fails on a missing path.
bool ShortPath(const char* path, std::string& out);

}  // namespace platform
