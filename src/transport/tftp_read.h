#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

// Reads remote_name from the controller's TFTP server at ip (128-byte
// blocks, 30 s to connect, 300 s in all) into out_data. expected_size only
// drives the progress bar while the server announces no size. out_data
// receives the bytes that arrived, also when the transfer fails midway.
// 0 on success, 1 on failure (logged in red; an empty ip or name is one).
int action_read_file_memory(std::string_view ip, std::string_view remote_name, std::uint64_t expected_size,
                            std::vector<std::uint8_t>& out_data);
