#pragma once
// CRC-16/MCRF4XX, the checksum in the header of channel and inputs files:
// polynomial 0x1021 bit-reversed (0x8408, shifting right), initial 0xFFFF,
// no final XOR.

#include <cstdint>
#include <span>

std::uint16_t crc16_update(std::uint8_t byte, std::uint16_t crc);
std::uint16_t crc16(std::span<const std::uint8_t> bytes);

// Seals a channel or inputs file image of its full length: the crc field is
// zeroed, the checksum computed over the whole file and stored in its low
// 16 bits. The version field must already hold the version being written,
// since it is covered by the checksum.
void seal_config_file(std::span<std::uint8_t> file);
