#pragma once
// Whole files into memory, for the firmware loaders.

#include <cstdint>
#include <string>
#include <vector>

enum class FileReadResult {
    done,          // everything that could be read was appended
    out_of_memory, // bytes could not grow; they hold what was read before
};

// Appends the file's bytes. A file that cannot be opened appends nothing and
// is not an error: to the loaders it is an empty file.
FileReadResult file_read_append(const std::string& path, std::vector<std::uint8_t>& bytes);
