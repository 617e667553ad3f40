#include "firmware/file_read.h"
#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"
#include "firmware/hex.h"
#include "log/log.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <string_view>

namespace {

struct ZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchiveHandle = std::unique_ptr<zip_t, ZipDiscard>;

struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipEntry = std::unique_ptr<zip_file_t, ZipFileClose>;

constexpr std::size_t digest_text_size = 64;
constexpr std::size_t digest_read_size = 128;
constexpr std::size_t image_read_size = 4096;

// The archive reads straight from bytes, which must outlive it. Null when the
// bytes are not a ZIP archive.
ZipArchiveHandle open_archive(const std::vector<std::uint8_t>& bytes)
{
    // libzip takes zero bytes for an empty archive; to us they are no archive.
    if (bytes.empty())
        return nullptr;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_error_fini(&error);
    if (source == nullptr)
        return nullptr;
    zip_error_init(&error);
    ZipArchiveHandle archive(zip_open_from_source(source, ZIP_RDONLY, &error));
    zip_error_fini(&error);
    if (!archive)
        zip_source_free(source);
    return archive;
}

// Messages of one entry's checks; the two entries differ only in them.
struct EntryMessages {
    const char* missing;
    int missing_code;
    const char* no_stat;
    const char* not_aes256;
    const char* wrong_password;
    int wrong_password_code;
};

constexpr EntryMessages digest_entry_messages{
    "File format is invalid (bh).\n",  -8,  "File format is invalid (ppbh).\n",
    "File format is invalid (ppfbh).\n", "File format is invalid (pbh).\n", -11};
constexpr EntryMessages image_entry_messages{
    "File format is invalid (binary).\n", -4,  "File format is invalid (ppb).\n",
    "File format is invalid (ppfb).\n",   "File format is invalid (pbh).\n", -12};

// Finds the entry by its exact name and opens it for decrypted reading, but
// only if it is under 256-bit WinZip AES. On failure, entry stays null and
// the code is returned after its message.
int open_entry(zip_t* archive, const char* name, const EntryMessages& messages, ZipEntry& entry,
               zip_uint64_t& size)
{
    const zip_int64_t index = zip_name_locate(archive, name, 0);
    if (index < 0) {
        std::printf("%s", messages.missing);
        return messages.missing_code;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &stat) != 0) {
        std::printf("%s", messages.no_stat);
        return -13;
    }
    if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) == 0 || stat.encryption_method != ZIP_EM_AES_256) {
        std::printf("%s", messages.not_aes256);
        return -15;
    }
    entry.reset(zip_fopen_index_encrypted(archive, static_cast<zip_uint64_t>(index), 0,
                                          firmware_package_password));
    if (!entry) {
        std::printf("%s", messages.wrong_password);
        return messages.wrong_password_code;
    }
    size = (stat.valid & ZIP_STAT_SIZE) != 0 ? stat.size : 0;
    return 0;
}

} // namespace

int firmware_prepare_package(FileImage& image, std::optional<std::vector<std::uint8_t>>& digest,
                             Sha256& context)
{
    std::printf("Preparing file...\n");
    log_color(colour_black, "Preparing file '%s'.", image.path.c_str());
    if (!context) {
        std::printf("Parameters error.\n");
        return -10;
    }

    std::vector<std::uint8_t> bytes;
    if (file_read_append(image.path, bytes) == FileReadResult::out_of_memory) {
        std::printf("memory error\n");
        return -2;
    }
    const ZipArchiveHandle archive = open_archive(bytes);
    if (!archive) {
        std::printf("File format is invalid (open).\n");
        return -9;
    }

    ZipEntry entry;
    zip_uint64_t entry_size = 0;
    if (const int code = open_entry(archive.get(), "kelpu.bh", digest_entry_messages, entry, entry_size);
        code != 0)
        return code;
    char digest_text[digest_read_size] = {};
    // A line end or any other byte after the 64 digits makes the entry longer
    // than a digest, so one read of more than 64 bytes tells.
    const zip_int64_t digest_length = zip_fread(entry.get(), digest_text, sizeof digest_text);
    entry.reset();
    if (digest_length != static_cast<zip_int64_t>(digest_text_size)) {
        std::printf("File content length is invalid (bh).\n");
        return -7;
    }
    digest = hex_decode(std::string_view(digest_text, digest_text_size));

    if (const int code = open_entry(archive.get(), "kelpu.binary", image_entry_messages, entry, entry_size);
        code != 0)
        return code;
    std::uint8_t buffer[image_read_size];
    try {
        // Room for what the archive announces, within what an image may be,
        // so that a false size cannot claim memory.
        image.data.reserve(image.data.size() + std::min<zip_uint64_t>(entry_size, firmware_image_max_size + 1));
        // An entry can inflate to far more than any image; once it holds more
        // than an image may, it is refused whatever follows, so reading stops
        // there and memory stays bounded. A read error ends the image early
        // too; the digest comparison then refuses it.
        while (image.data.size() <= firmware_image_max_size) {
            const zip_int64_t count = zip_fread(entry.get(), buffer, sizeof buffer);
            if (count <= 0)
                break;
            image.data.insert(image.data.end(), buffer, buffer + count);
        }
    } catch (const std::bad_alloc&) {
        image.size = image.data.size();
        std::printf("memory error\n");
        return -3;
    }
    image.size = image.data.size();
    entry.reset();

    sha256_update(context, image.data);
    return 0;
}
