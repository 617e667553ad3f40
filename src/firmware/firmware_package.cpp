#include "firmware/aes_mac.h"
#include "firmware/firmware_info.h"
#include "firmware/firmware_input.h"
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
    const char* short_name;
    const char* missing;
    int missing_code;
    const char* no_stat;
    const char* not_aes256;
    const char* wrong_password;
    int wrong_password_code;
};

constexpr EntryMessages digest_entry_messages{
    "bh", "File format is invalid (bh).\n",  -8,  "File format is invalid (ppbh).\n",
    "File format is invalid (ppfbh).\n", "File format is invalid (pbh).\n", -11};
constexpr EntryMessages image_entry_messages{
    "binary", "File format is invalid (binary).\n", -4,  "File format is invalid (ppb).\n",
    "File format is invalid (ppfb).\n",   "File format is invalid (pbh).\n", -12};

// Finds the entry by its exact name and opens it for decrypted reading, but
// only if it is under 256-bit WinZip AES and its authentication code
// matches its data. On failure, entry stays null and the code is returned
// after its message.
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
    if (!aes_entry_authentic(archive, static_cast<zip_uint64_t>(index), firmware_package_password)) {
        std::printf("File content is invalid (%s): its authentication code does not match its data.\n",
                    messages.short_name);
        entry.reset();
        return firmware_content_invalid;
    }
    return 0;
}

enum class EntryRead { whole, failed, over_limit };

// Reads the open entry into out to its end, or until out holds more than
// limit bytes. Only the end of the entry makes libzip check its CRC and
// its stated size.
EntryRead read_to_end(zip_file_t* entry, std::vector<std::uint8_t>& out, std::size_t limit)
{
    std::uint8_t buffer[image_read_size];
    while (out.size() <= limit) {
        const zip_int64_t count = zip_fread(entry, buffer, sizeof buffer);
        if (count < 0)
            return EntryRead::failed;
        if (count == 0)
            return EntryRead::whole;
        out.insert(out.end(), buffer, buffer + count);
    }
    return EntryRead::over_limit;
}

// Why an entry's content was refused: libzip's reason for a failed read,
// or the difference between its stated size and its data.
int refuse_content(const char* entry_name, zip_file_t* entry, std::uint64_t stated, std::uint64_t read)
{
    zip_error_t* error = zip_file_get_error(entry);
    if (zip_error_code_zip(error) != ZIP_ER_OK)
        std::printf("File content is invalid (%s): %s.\n", entry_name, zip_error_strerror(error));
    else
        std::printf("File content is invalid (%s): %llu bytes stated, %llu bytes found.\n", entry_name,
                    static_cast<unsigned long long>(stated), static_cast<unsigned long long>(read));
    return firmware_content_invalid;
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
    if (const int read = firmware_read_input(image.path, bytes, firmware_package_max_size); read != 0)
        return read;
    return firmware_package_unpack(bytes, image, digest, context);
}

int firmware_package_unpack(const std::vector<std::uint8_t>& package, FileImage& image,
                            std::optional<std::vector<std::uint8_t>>& digest, Sha256& context)
{
    const ZipArchiveHandle archive = open_archive(package);
    if (!archive) {
        std::printf("File format is invalid (open).\n");
        return -9;
    }

    ZipEntry entry;
    zip_uint64_t entry_size = 0;
    if (const int code = open_entry(archive.get(), "kelpu.bh", digest_entry_messages, entry, entry_size);
        code != 0)
        return code;
    // A line end or any other byte after the 64 digits makes the entry longer
    // than a digest; reading up to one byte more than a digest tells.
    std::vector<std::uint8_t> digest_text;
    const EntryRead digest_read = read_to_end(entry.get(), digest_text, digest_text_size);
    if (digest_read != EntryRead::failed && digest_text.size() != digest_text_size) {
        std::printf("File content length is invalid (bh).\n");
        return -7;
    }
    if (digest_read == EntryRead::failed || entry_size != digest_text_size)
        return refuse_content("bh", entry.get(), entry_size, digest_text.size());
    entry.reset();
    digest = hex_decode(std::string_view(reinterpret_cast<const char*>(digest_text.data()), digest_text.size()));

    if (const int code = open_entry(archive.get(), "kelpu.binary", image_entry_messages, entry, entry_size);
        code != 0)
        return code;
    try {
        // Room for what the archive states, within what an image may be, so
        // that a false size cannot claim memory. Reading stops as soon as the
        // entry is larger than any image, so memory stays bounded; the
        // information check then refuses it.
        image.data.reserve(image.data.size() + std::min<zip_uint64_t>(entry_size, firmware_image_max_size + 1));
        const std::size_t start = image.data.size();
        const EntryRead read = read_to_end(entry.get(), image.data, start + firmware_image_max_size);
        image.size = image.data.size();
        const std::uint64_t found = image.size - start;
        if (read == EntryRead::failed || (read == EntryRead::whole && found != entry_size))
            return refuse_content("binary", entry.get(), entry_size, found);
    } catch (const std::bad_alloc&) {
        image.size = image.data.size();
        std::printf("memory error\n");
        return -3;
    }
    entry.reset();

    sha256_update(context, image.data);
    return 0;
}
