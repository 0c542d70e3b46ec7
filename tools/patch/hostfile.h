// Small POSIX file helpers for the host tools. Each function reports failure
// by returning false, with errno left as the system set it.
#pragma once
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace patchbuild {

// Owns a file descriptor; closes it when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Fd& operator=(Fd&& o) noexcept;
    ~Fd();
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

Fd OpenRead(const std::string& path);
Fd CreateWrite(const std::string& path);  // truncates
// A new file of a name of its own beside `path` ("path.patchnew-XXXXXX", or
// ".patchnew-XXXXXX" when that would pass the folder's limit of one name;
// O_EXCL: never an existing file or a link), with the given mode; its name
// goes to *name.
Fd CreateBeside(const std::string& path, mode_t mode, std::string* name);
bool ReadAt(int fd, uint64_t offset, void* buf, size_t n);  // all n bytes or false
bool WriteAll(int fd, const void* buf, size_t n);
bool WriteAt(int fd, uint64_t offset, const void* buf, size_t n);  // all n bytes or false; any thread
bool FileSize(int fd, uint64_t* size);

// Sets the C library's heap for a run that makes and frees the same few
// large blocks (a coder model, buffers, a suffix array) once per file.
// glibc by default raises its mmap threshold to the size of a freed block
// and hands free memory at the top back to the system: the next file's
// blocks then came from the heap beside blocks still live (the build of an
// 11 MB program peaked 10 MB higher), or the same pages were faulted in and
// zeroed again for every file (a 275-file apply spent 0.5 s in the kernel).
// Blocks up to 4 MiB now stay in the heap for reuse; larger ones are mapped
// and unmapped each time.
void SetHeapForFileAfterFile();

// SHA-256 of a whole file, read through a fixed buffer.
bool HashFile(const std::string& path, uint8_t digest[32]);

}  // namespace patchbuild
