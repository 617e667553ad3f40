#pragma once
// Channel and inputs files for the conversion tests, written byte by byte at
// the offsets of the controller's documented layouts (not through the
// project's layout tables), and checks that a converted file carries each
// documented field from its source.

#include <cstdint>
#include <span>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// Device types of the 64 records cycle through these: the three that carry
// type-specific data, two that do not, and "none".
inline constexpr std::uint8_t fixture_device_types[] = {5, 6, 8, 7, 0, 255};

// A channel file of format 0 or 1 (11,168 bytes; version field = format) or
// 2 (10,912 bytes), revision 41, sealed. Every field holds its own pattern;
// the bytes that a conversion drops hold 0xDD.
Bytes make_channel_file(unsigned format);

// An inputs file of format 2 (9,436 bytes), revision 5, sealed. Device 0 has
// push buttons (type 1), 1 occupancy sensors (3), 2 light sensors (4), 3 one
// instance of each and one of type 2; the others have no instances.
Bytes make_inputs_file_v2();

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t offset);
Bytes slice(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t n);

// Checks, with gtest expectations, the header step (revision + 1, version,
// size, checksum, header data) and every record field of a conversion.
void expect_channel_converted(std::span<const std::uint8_t> source, unsigned from,
                              std::span<const std::uint8_t> target, unsigned to);
void expect_inputs_converted(std::span<const std::uint8_t> source, std::span<const std::uint8_t> target);
