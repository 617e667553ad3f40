#include "firmware/sha256.h"

Sha256 sha256_start()
{
    Sha256 context(EVP_MD_CTX_new());
    if (context && EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        context.reset();
    return context;
}

void sha256_update(Sha256& context, std::span<const std::uint8_t> bytes)
{
    EVP_DigestUpdate(context.get(), bytes.data(), bytes.size());
}

Sha256Digest sha256_finish(Sha256& context)
{
    Sha256Digest digest{};
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest.data(), &length);
    return digest;
}
