#include "channel/crc16.h"

#include "channel/channel_layout.h"

std::uint16_t crc16_update(std::uint8_t byte, std::uint16_t crc) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0x8408) : std::uint16_t(crc >> 1);
    return crc;
}

std::uint16_t crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t byte : bytes) crc = crc16_update(byte, crc);
    return crc;
}

void seal_config_file(std::span<std::uint8_t> file) {
    write_u32le(file, header_crc_offset, 0);
    write_u32le(file, header_crc_offset, crc16(file));
}
