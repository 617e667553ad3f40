#pragma once
// Firmware files made on the spot for the tests: raw images with an
// information record, and ZIP packages written by libzip.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <zip.h>

// size bytes of varied content; when they can hold it, a record naming model
// (cut to its field), version 4.2.17 and 4 channels.
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
std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path);
std::vector<std::uint8_t> text_bytes(std::string_view text);
// The file's digest as sha256sum prints it.
std::string sha256sum_of(const std::filesystem::path& path);

// A fresh folder under the system's temporary folder, removed with the object.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    std::filesystem::path operator/(std::string_view name) const { return path / name; }
};
