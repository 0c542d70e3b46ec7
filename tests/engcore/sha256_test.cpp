// The shared SHA-256 vectors against the host's library: the engine's tests
// check the Windows provider against the same table.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>

#include "sha256_vectors.h"

namespace {

std::string Hex(const uint8_t* d, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; i++) {
    s += kDigits[d[i] >> 4];
    s += kDigits[d[i] & 15];
  }
  return s;
}

TEST(Sha256, SharedVectors) {
  for (const auto& v : sha256vectors::kVectors) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ASSERT_NE(ctx, nullptr);
    EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
    std::string message;
    for (uint32_t i = 0; i < v.repeat; i++) message.append(v.unit, v.unitLength);
    EVP_DigestUpdate(ctx, message.data(), message.size());
    uint8_t digest[32];
    unsigned len = 0;
    EVP_DigestFinal_ex(ctx, digest, &len);
    EVP_MD_CTX_free(ctx);
    EXPECT_EQ(Hex(digest, len), v.hexDigest) << message.size() << " bytes";
  }
}

}  // namespace
