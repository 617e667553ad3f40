#pragma once
// Reading a firmware file into memory, refusing what cannot be one.

#include <cstdint>
#include <string>
#include <vector>

// Appends the file's bytes. 0 when read (a file that cannot be opened reads
// as empty); -5 with a red line when the path is not a regular file (a
// device such as /dev/zero, a pipe, a folder) or it holds more than limit
// bytes, checked before reading; -2 ("memory error") when memory runs out.
int firmware_read_input(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t limit);
