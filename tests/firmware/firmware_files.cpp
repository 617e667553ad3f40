#include "firmware/firmware_files.h"

#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"
#include "firmware/hex.h"
#include "support/run_process.h"

#include <openssl/sha.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

void put_text(std::vector<std::uint8_t>& image, std::size_t at, std::string_view text, std::size_t field)
{
    std::memcpy(image.data() + at, text.data(), std::min(text.size(), field));
}

void check(bool ok, const char* what)
{
    if (!ok)
        throw std::runtime_error(what);
}

} // namespace

std::vector<std::uint8_t> make_firmware_image(std::size_t size, std::string_view model)
{
    std::vector<std::uint8_t> image(size);
    std::uint32_t state = 0x2545F491;
    for (std::uint8_t& byte : image) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    if (size < firmware_image_min_size)
        return image;
    const std::size_t record = firmware_info_offset;
    std::memset(image.data() + record + 12, 0, firmware_info_size - 12);
    put_text(image, record + 12, model, 33);
    put_text(image, record + 45, "DALI gateway", 33);
    put_text(image, record + 78, "4.2.17", 33);
    const std::uint32_t version = 0x00040211;
    for (int i = 0; i < 4; ++i)
        image[record + 112 + i] = static_cast<std::uint8_t>(version >> (8 * i));
    put_text(image, record + 116, "Mar 14 2024", 33);
    put_text(image, record + 149, "09:26:53", 33);
    image[record + 182] = 4;
    return image;
}

std::vector<PackageEntry> package_entries(const std::vector<std::uint8_t>& image)
{
    std::uint8_t digest[SHA256_DIGEST_LENGTH];
    SHA256(image.data(), image.size(), digest);
    return {{.name = "kelpu.bh", .content = text_bytes(hex_encode(digest))},
            {.name = "kelpu.binary", .content = image}};
}

void write_package(const std::filesystem::path& path, const std::vector<PackageEntry>& entries)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    check(archive != nullptr, "zip_open");
    for (const PackageEntry& entry : entries) {
        // The source reads entry.content when the archive is closed below.
        zip_source_t* source = zip_source_buffer(archive, entry.content.data(), entry.content.size(), 0);
        check(source != nullptr, "zip_source_buffer");
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            zip_source_free(source);
        check(index >= 0, "zip_file_add");
        if (entry.encryption != ZIP_EM_NONE) {
            const std::string& password = entry.password.empty() ? firmware_package_password : entry.password;
            check(zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index), entry.encryption,
                                          password.c_str()) == 0,
                  "zip_file_set_encryption");
        }
    }
    check(zip_close(archive) == 0, "zip_close");
}

void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    check(out.good(), "write_bytes");
}

std::vector<std::uint8_t> text_bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

std::string sha256sum_of(const std::filesystem::path& path)
{
    const ProcessResult result = run_process({"sha256sum", path.string()});
    check(result.exit_code == 0 && result.out.size() >= 64, "sha256sum");
    return result.out.substr(0, 64);
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kelpu-fw-XXXXXX").string();
    check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
