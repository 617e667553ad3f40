#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// Uploads one configuration TAR to the controller at ip (bare address) as
// "flashraw.bin" over TFTP and tells it to restore what it received. 0 when
// both exchanges completed ("File restored." in green); 1 for an empty ip or
// TAR, or when either exchange failed (reported by the exchange).
int backup_push(std::string_view ip, std::span<const std::uint8_t> tar);
