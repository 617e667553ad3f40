#pragma once
// Incremental SHA-256 on libcrypto: start, feed runs of bytes, finish.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include <openssl/evp.h>

using Sha256Digest = std::array<std::uint8_t, 32>;

struct Sha256ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
// Null when the context could not be made.
using Sha256 = std::unique_ptr<EVP_MD_CTX, Sha256ContextFree>;

Sha256 sha256_start();
void sha256_update(Sha256& context, std::span<const std::uint8_t> bytes);
Sha256Digest sha256_finish(Sha256& context);
