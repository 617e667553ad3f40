#include "firmware/firmware_files.h"

#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"
#include "firmware/hex.h"
#include "support/run_process.h"

#include <openssl/sha.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

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
    std::uint8_t* record = image.data() + firmware_info_offset;
    std::memset(record + 12, 0, firmware_info_size - 12);
    const auto put = [&](std::size_t at, std::string_view text) {
        std::memcpy(record + at, text.data(), std::min<std::size_t>(text.size(), 33));
    };
    put(12, model);
    put(45, "DALI gateway");
    put(78, "4.2.17");
    put(112, "\x11\x02\x04"); // 0x00040211, little-endian
    put(116, "Mar 14 2024");
    put(149, "09:26:53");
    record[182] = 4;
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
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        check(source != nullptr && index >= 0, "zip_file_add");
        const std::string& password = entry.password.empty() ? firmware_package_password : entry.password;
        if (entry.encryption != ZIP_EM_NONE)
            check(zip_file_set_encryption(archive, index, entry.encryption, password.c_str()) == 0, "encryption");
    }
    check(zip_close(archive) == 0, "zip_close");
}

std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
    path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}
