#pragma once
// Files and byte patterns for the TAR tests, which check archives against
// GNU tar and Python's tarfile.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A fresh folder, removed with everything in it at the end of the test.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    std::filesystem::path path;
};

// Bytes that differ from position to position, so a shifted copy shows.
Bytes pattern_bytes(std::size_t size, unsigned seed);

// Exactly the file's bytes, in a heap block of exactly that size.
Bytes read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const Bytes& bytes);
