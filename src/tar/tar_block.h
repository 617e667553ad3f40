#pragma once
// The 512-byte header block: its fields, octal numbers and checksum.

#include "tar/tar_header.h"

#include <array>
#include <cstdint>

inline constexpr std::uint32_t tar_block_size = 512;
using TarBlock = std::array<std::uint8_t, tar_block_size>;

// 256 plus every byte outside the checksum field: the field counted as blanks.
std::uint32_t tar_block_checksum(const TarBlock& block);

// TAR_FAILURE, with block untouched, when a name has more than 99 bytes or a
// number has more octal digits than its field can hold.
int tar_block_encode(const TarHeader& header, TarBlock& block);

// TAR_NULL_RECORD when the checksum field begins with a zero byte,
// TAR_BAD_CHECKSUM when it holds no octal digit or another sum.
int tar_block_decode(const TarBlock& block, TarHeader& header);
