#pragma once
// A whole file held in memory on its way to a controller: a firmware image,
// or the configuration TAR that a restore uploads.

#include <cstdint>
#include <string>
#include <vector>

struct FileImage {
    std::string path;
    std::uint64_t size = 0; // bytes of data that count
    std::vector<std::uint8_t> data;
};
