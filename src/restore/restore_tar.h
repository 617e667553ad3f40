#pragma once
// The TAR that carries one configuration file back to its controller.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// One member named controller_path (mode 0664, owner 0, dated mtime, a
// regular file) holding file, then the end-of-archive marker. Empty when the
// member cannot be written (a name over 99 bytes, a file of 4 GiB or more).
std::vector<std::uint8_t> restore_tar(std::string_view controller_path, std::span<const std::uint8_t> file,
                                      std::uint32_t mtime);
