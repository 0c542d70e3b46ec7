// SHA-256 for the engine and the host tools: one implementation, no system
// provider. Two block functions compute the same thing: a portable one and
// one on the x86 SHA extensions (SHA-NI), which a Sha256 object picks when
// it is made. Hashing never fails and never allocates.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace core::sha256 {

struct Digest {
    uint8_t bytes[32];
    bool operator==(const Digest& o) const;
    bool operator!=(const Digest& o) const { return !(*this == o); }
    // 64 lower-case hex digits.
    std::string Hex() const;
};

// Which block function a Sha256 runs.
enum class Path { portable, shaNi };

// True when this CPU runs the SHA extensions and SSE4.1 (CPUID leaf 7 EBX
// bit 29, leaf 1 ECX bit 19). Asked of the CPU once per process; always false
// when not built for x86.
bool CpuHasShaNi();
// shaNi when CpuHasShaNi(), else portable.
Path FastestPath();

// A streaming hash. Update any number of times with pieces of any size, then
// Finish; after Finish the object hashes a new, empty message.
class Sha256 {
public:
    Sha256() : Sha256(FastestPath()) {}
    // A test may force either path; shaNi needs CpuHasShaNi() (a CPU without
    // it would fault on the first block).
    explicit Sha256(Path path);
    void Update(const void* data, size_t n);
    Digest Finish();
    Path path() const { return path_; }

private:
    void Restart();
    Path path_;
    uint32_t state_[8];
    uint64_t length_;  // bytes so far
    uint8_t block_[64];
    size_t fill_;  // bytes waiting in block_
};

// The digest of one buffer, on the fastest path.
Digest Of(const void* data, size_t n);

}  // namespace core::sha256
