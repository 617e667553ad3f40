#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Reads remote_name from the controller's TFTP server at ip (128-byte
// blocks, 30 s for a first answer, 300 s in all, a stall rule) into
// out_data. With an expected_size (not 0) the file must be exactly that
// long: a different announced size, a transfer that runs past it or ends
// short of it fails. The progress bar follows the announced size, else
// expected_size. out_data receives the bytes that arrived, also when the
// transfer fails midway. 0 on success, 1 on failure (logged in red; an
// empty ip or name is one).
int action_read_file_memory(std::string_view ip, std::string_view remote_name, std::uint64_t expected_size,
                            std::vector<std::uint8_t>& out_data);
