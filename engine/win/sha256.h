// SHA-256 through Windows' own hash provider (BCrypt).
// Error convention: bool; on false the NTSTATUS is translated into
// GetLastError() (ERROR_INVALID_FUNCTION when the provider is unusable).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "owners.h"

namespace eng {

struct Digest {
    uint8_t bytes[32];
    bool operator==(const Digest& o) const;
    bool operator!=(const Digest& o) const { return !(*this == o); }
    std::string Hex() const;
};

class Sha256 {
public:
    bool Start();
    bool Update(const void* data, size_t n);
    // Ends the hash; Start must be called again before the next Update.
    bool Finish(Digest* out);

private:
    AlgProvider alg_;  // declared first: destroyed after the hash object
    HashObject hash_;
};

class File;
// Hashes a whole open file from its start with a fixed buffer; *size gets
// its length.
bool HashFile(const File& file, Digest* out, uint64_t* size);

}  // namespace eng
