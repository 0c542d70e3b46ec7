#include "hostfile.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace patchbuild {

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

bool FileSize(int fd, uint64_t* size) {
    struct stat st;
    if (fstat(fd, &st) != 0) return false;
    *size = uint64_t(st.st_size);
    return true;
}

bool HashFile(const std::string& path, uint8_t digest[32]) {
    Fd fd = OpenRead(path);
    if (!fd.ok()) return false;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return false;
    std::vector<uint8_t> buf(1 << 20);
    for (;;) {
        ssize_t got = read(fd.get(), buf.data(), buf.size());
        if (got < 0) return false;
        if (got == 0) break;
        if (EVP_DigestUpdate(ctx.get(), buf.data(), size_t(got)) != 1) return false;
    }
    unsigned len = 0;
    return EVP_DigestFinal_ex(ctx.get(), digest, &len) == 1 && len == 32;
}

}  // namespace patchbuild
