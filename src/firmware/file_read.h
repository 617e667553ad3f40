#pragma once
// Whole files into memory, for the firmware loaders.

#include <cstdint>
#include <string>
#include <vector>

enum class FileReadResult {
    done,          // everything that could be read was appended
    out_of_memory, // bytes could not grow; they hold what was read before
    not_regular,   // a device, pipe, folder...: nothing was read
    too_large,     // the file holds more than the limit; bytes are left as they were
};

// Appends the file's bytes, if it is a regular file of at most limit bytes.
// Its kind and size are checked before anything is read, and the limit
// holds while reading too (for a file that grows meanwhile). A file that
// cannot be opened appends nothing and is not an error: to the loaders it
// is an empty file.
FileReadResult file_read_append(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t limit);
