#include "filehash.h"

#include <vector>

#include "winfile.h"

namespace eng {

namespace {

constexpr size_t kHashBuffer = 1 << 20;

}  // namespace

bool HashFile(const File& file, core::sha256::Digest* out, uint64_t* size) {
    core::sha256::Sha256 sha;
    std::vector<uint8_t> buf(kHashBuffer);
    uint64_t total = 0;
    if (!file.ReadAt(0, buf.data(), 0)) return false;
    for (;;) {
        size_t got;
        if (!file.ReadSome(buf.data(), buf.size(), &got)) return false;
        if (got == 0) break;
        sha.Update(buf.data(), got);
        total += got;
    }
    *size = total;
    *out = sha.Finish();
    return true;
}

}  // namespace eng
