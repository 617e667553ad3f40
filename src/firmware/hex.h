#pragma once
// Hexadecimal text of byte strings: digests travel and are stored this way.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Two lowercase digits per byte, high nibble first.
std::string hex_encode(std::span<const std::uint8_t> bytes);

// Accepts 0-9, A-F and a-f. Nothing when the length is odd or any character
// (a NUL or a line end included) is not a digit.
std::optional<std::vector<std::uint8_t>> hex_decode(std::string_view text);
