#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Copies the controller's file remote_name (over TFTP) into the folder, which
// is created when missing, as a file of the same base name, which must be
// exactly expected_size bytes long. type must be given though its value is
// not used. The file appears whole or not at all: a failed transfer or write
// leaves an earlier file of that name untouched. 0 when the file was read and
// written whole, 1 on failure, 2 when an argument is missing or the output
// path is longer than the platform can hold.
int action_read_file(const std::optional<std::string>& ip, std::string_view remote_name,
                     std::uint64_t expected_size, const std::optional<std::string>& folder,
                     const std::optional<std::string>& type);
