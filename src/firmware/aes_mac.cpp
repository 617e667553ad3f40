#include "firmware/aes_mac.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int pbkdf2_iterations = 1000;
constexpr std::size_t verifier_size = 2;
constexpr std::size_t code_size = 10;
constexpr std::size_t chunk_size = 65536;

struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct MacFree {
    void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
};
struct MacContextFree {
    void operator()(EVP_MAC_CTX* context) const { EVP_MAC_CTX_free(context); }
};

// Key length in bytes of each WinZip AES strength; 0 for other methods.
// The salt is half as long.
std::size_t key_length(zip_uint16_t method)
{
    switch (method) {
    case ZIP_EM_AES_128:
        return 16;
    case ZIP_EM_AES_192:
        return 24;
    case ZIP_EM_AES_256:
        return 32;
    default:
        return 0;
    }
}

// Reads length bytes, or fewer at the entry's end or on a read error.
std::size_t read_some(zip_file_t* file, std::uint8_t* out, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const zip_int64_t got = zip_fread(file, out + done, length - done);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace

bool aes_entry_authentic(zip_t* archive, zip_uint64_t index, const char* password)
{
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(archive, index, 0, &info) != 0 || (info.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0)
        return false;
    const std::size_t key_size = key_length(info.encryption_method);
    if (key_size == 0)
        return false;
    const std::size_t salt_size = key_size / 2;
    // The entry as stored: salt, password verifier, encrypted data, code.
    const std::unique_ptr<zip_file_t, ZipFileClose> raw(zip_fopen_index(archive, index, ZIP_FL_ENCRYPTED));
    if (!raw)
        return false;
    std::vector<std::uint8_t> salt(salt_size + verifier_size);
    if (read_some(raw.get(), salt.data(), salt.size()) != salt.size())
        return false;

    std::vector<std::uint8_t> keys(2 * key_size + verifier_size);
    if (PKCS5_PBKDF2_HMAC_SHA1(password, static_cast<int>(std::strlen(password)), salt.data(),
                               static_cast<int>(salt_size), pbkdf2_iterations, static_cast<int>(keys.size()),
                               keys.data()) != 1)
        return false;
    const std::unique_ptr<EVP_MAC, MacFree> hmac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    const std::unique_ptr<EVP_MAC_CTX, MacContextFree> context(hmac ? EVP_MAC_CTX_new(hmac.get()) : nullptr);
    char digest_name[] = "SHA1";
    const OSSL_PARAM parameters[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest_name, 0),
                                     OSSL_PARAM_construct_end()};
    if (!context || EVP_MAC_init(context.get(), keys.data() + key_size, key_size, parameters) != 1)
        return false;

    // Everything but the last code_size bytes is encrypted data; the tail
    // is held back until the entry's end shows which bytes are the code.
    std::vector<std::uint8_t> buffer(code_size + chunk_size);
    std::size_t held = 0;
    for (;;) {
        const std::size_t got = read_some(raw.get(), buffer.data() + held, chunk_size);
        held += got;
        if (held > code_size) {
            const std::size_t data = held - code_size;
            if (EVP_MAC_update(context.get(), buffer.data(), data) != 1)
                return false;
            std::memmove(buffer.data(), buffer.data() + data, code_size);
            held = code_size;
        }
        if (got < chunk_size)
            break;
    }
    std::array<std::uint8_t, EVP_MAX_MD_SIZE> computed{};
    std::size_t computed_size = 0;
    if (held != code_size || EVP_MAC_final(context.get(), computed.data(), &computed_size, computed.size()) != 1 ||
        computed_size < code_size)
        return false;
    return CRYPTO_memcmp(computed.data(), buffer.data(), code_size) == 0;
}
