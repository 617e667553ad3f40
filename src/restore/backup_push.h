#pragma once
// Hands one configuration TAR to a controller: the upload, then the request
// that makes the controller take the uploaded files over.

#include <cstdint>
#include <string_view>
#include <vector>

// Uploads tar over TFTP as "flashraw.bin" to the controller at ip (bare
// address) and sends the restore trigger. 0 when both went through; 1 for
// no bytes, no base address, or a failed upload or trigger.
int backup_push(std::string_view base_address, std::string_view ip, std::vector<std::uint8_t> tar);
