#include "hostfile.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "sha256.h"

namespace patchbuild {

void SetHeapForFileAfterFile() {
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}

Fd::~Fd() {
    if (fd_ >= 0) close(fd_);
}

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0) close(fd_);
        fd_ = o.fd_;
        o.fd_ = -1;
    }
    return *this;
}

Fd OpenRead(const std::string& path) { return Fd(open(path.c_str(), O_RDONLY | O_CLOEXEC)); }

Fd CreateWrite(const std::string& path) { return Fd(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)); }

Fd CreateBeside(const std::string& path, mode_t mode, std::string* name) {
    // The long form names the file it is for; when it would pass the
    // folder's limit of one name, the short one stands beside it.
    const std::string suffix = ".patchnew-XXXXXX";
    size_t cut = path.rfind('/');
    std::string folder = path.substr(0, cut == std::string::npos ? 0 : cut + 1);
    long limit = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    std::string pattern = path + suffix;
    if (limit > 0 && pattern.size() - folder.size() > size_t(limit)) pattern = folder + suffix;
    Fd fd(mkostemp(&pattern[0], O_CLOEXEC));
    if (!fd.ok()) return fd;
    *name = pattern;
    if (fchmod(fd.get(), mode) != 0) {
        int code = errno;
        unlink(name->c_str());
        errno = code;
        return Fd();
    }
    return fd;
}

bool ReadAt(int fd, uint64_t offset, void* buf, size_t n) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        ssize_t got = pread(fd, p, n, off_t(offset));
        if (got <= 0) return false;
        p += got;
        offset += uint64_t(got);
        n -= size_t(got);
    }
    return true;
}

bool WriteAll(int fd, const void* buf, size_t n) {
    auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        ssize_t put = write(fd, p, n);
        if (put <= 0) return false;
        p += put;
        n -= size_t(put);
    }
    return true;
}

bool WriteAt(int fd, uint64_t offset, const void* buf, size_t n) {
    auto* p = static_cast<const uint8_t*>(buf);
    while (n > 0) {
        ssize_t put = pwrite(fd, p, n, off_t(offset));
        if (put <= 0) return false;
        p += put;
        n -= size_t(put);
        offset += uint64_t(put);
    }
    return true;
}

bool FileSize(int fd, uint64_t* size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    *size = uint64_t(st.st_size);
    return true;
}

bool HashFile(const std::string& path, uint8_t digest[32]) {
    Fd fd = OpenRead(path);
    if (!fd.ok()) return false;
    core::sha256::Sha256 sha;
    std::vector<uint8_t> buf(1 << 20);
    for (;;) {
        ssize_t got = read(fd.get(), buf.data(), buf.size());
        if (got < 0) return false;
        if (got == 0) break;
        sha.Update(buf.data(), size_t(got));
    }
    std::memcpy(digest, sha.Finish().bytes, 32);
    return true;
}

}  // namespace patchbuild
