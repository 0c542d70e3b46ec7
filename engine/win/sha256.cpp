#include "sha256.h"

#include <cstring>
#include <vector>

#include "winfile.h"

namespace eng {

namespace {

bool Check(NTSTATUS status) {
    if (BCRYPT_SUCCESS(status)) return true;
    ::SetLastError(ERROR_INVALID_FUNCTION);
    return false;
}

constexpr size_t kHashBuffer = 1 << 20;

}  // namespace

bool Digest::operator==(const Digest& o) const { return std::memcmp(bytes, o.bytes, 32) == 0; }

std::string Digest::Hex() const {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : bytes) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

bool Sha256::Start() {
    hash_.Reset();
    if (!alg_.Get() && !Check(::BCryptOpenAlgorithmProvider(alg_.Out(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return false;
    // A null object buffer lets the provider allocate and free it itself.
    return Check(::BCryptCreateHash(alg_.Get(), hash_.Out(), nullptr, 0, nullptr, 0, 0));
}

bool Sha256::Update(const void* data, size_t n) {
    auto* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        ULONG step = ULONG(n < (1u << 30) ? n : (1u << 30));
        if (!Check(::BCryptHashData(hash_.Get(), const_cast<PUCHAR>(p), step, 0))) return false;
        p += step;
        n -= step;
    }
    return true;
}

bool Sha256::Finish(Digest* out) {
    bool ok = Check(::BCryptFinishHash(hash_.Get(), out->bytes, sizeof(out->bytes), 0));
    hash_.Reset();
    return ok;
}

bool HashFile(const File& file, Digest* out, uint64_t* size) {
    Sha256 sha;
    if (!sha.Start()) return false;
    std::vector<uint8_t> buf(kHashBuffer);
    uint64_t total = 0;
    if (!file.ReadAt(0, buf.data(), 0)) return false;
    for (;;) {
        size_t got;
        if (!file.ReadSome(buf.data(), buf.size(), &got)) return false;
        if (got == 0) break;
        if (!sha.Update(buf.data(), got)) return false;
        total += got;
    }
    *size = total;
    return sha.Finish(out);
}

}  // namespace eng
