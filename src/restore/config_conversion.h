#pragma once
// The record conversions between channel file formats and inputs file
// formats. Each takes a source of exactly its format's size and gives a new
// file of the target format: fields moved to their new places, the header
// counted up one revision, and a fresh checksum.

#include <cstdint>
#include <span>
#include <vector>

// Channel files: formats 0 and 1 (11,168 bytes) to format 2 (10,912 bytes).
std::vector<std::uint8_t> convert_channel_01_to_2(std::span<const std::uint8_t> source);
// Formats 0 and 1 to format 3 (7,072 bytes): the type-specific data goes.
std::vector<std::uint8_t> convert_channel_01_to_3(std::span<const std::uint8_t> source);
// Format 2 to format 3.
std::vector<std::uint8_t> convert_channel_2_to_3(std::span<const std::uint8_t> source);

// Inputs files: format 2 (9,436 bytes) to format 3 (9,564 bytes), where each
// instance gets a settings slot of its own instead of a packed table.
std::vector<std::uint8_t> convert_inputs_2_to_3(std::span<const std::uint8_t> source);
