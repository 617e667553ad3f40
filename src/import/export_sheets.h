#pragma once
// The sheets that would produce a channel's files: the inverse of the three
// importers. Each starts with its version row and a comment naming the
// columns. Importing them into the same controller changes nothing but what
// every import stamps (import markers, flag bit 1; in format 3 the device
// type bytes) and the header's version and checksum.

#include <cstdint>
#include <span>
#include <string>

// Device rows for the records in use (addressed, named or imported before);
// a record whose name begins with "#" cannot be a data row and is left out.
std::string export_channel_sheet(std::span<const std::uint8_t> channel_file, unsigned format);

// All 16 group rows; column 0 holds the channel number.
std::string export_groups_sheet(std::span<const std::uint8_t> channel_file, unsigned format, unsigned channel);

// Input device rows for every slot that is not all zero (format 3 file).
std::string export_inputs_sheet(std::span<const std::uint8_t> inputs_file);

// One CSV field: quoted when it holds a comma, quote or line break or
// begins or ends with a blank, which the tokeniser would otherwise drop.
std::string csv_field(std::string_view text);
