#pragma once
// Firmware files made on the spot for the tests: raw images with an
// information record, and ZIP packages written by libzip.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <zip.h>

// An image of size bytes of varied content whose record names model (cut to
// its 33-byte field) and the fixed description, version and channel count.
// The record is left out when the image is too short to hold it.
std::vector<std::uint8_t> make_firmware_image(std::size_t size, std::string_view model = "ZANTOR-2");

struct PackageEntry {
    std::string name;
    std::vector<std::uint8_t> content;
    zip_uint16_t encryption = ZIP_EM_AES_256;
    std::string password{}; // empty: the package password
};

// The two entries of a sound package for image.
std::vector<PackageEntry> package_entries(const std::vector<std::uint8_t>& image);

void write_package(const std::filesystem::path& path, const std::vector<PackageEntry>& entries);
void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> text_bytes(std::string_view text);

// The digest of bytes as 64 lowercase digits, as sha256sum prints it.
std::string sha256sum_of(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};
