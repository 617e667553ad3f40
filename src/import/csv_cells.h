#pragma once
// Cell conversions of the sheets. None fails: what cannot be read becomes 0
// (or the cell's documented default), numbers keep their low bits.

#include <array>
#include <cstdint>

// Like atoi: blanks, sign, digits; low 32 bits of the value.
std::uint32_t cell_number(const char* text);

// JSON: the last number, string or null token of the cell; null gives 255,
// no such token 0.
std::uint8_t cell_short_address(const char* text);

// JSON array of group numbers 0..15 as a mask; other numbers set nothing.
std::uint16_t cell_groups(const char* text);

// JSON array of up to 16 scene levels; null and missing entries are 255.
std::array<std::uint8_t, 16> cell_scenes(const char* text);

// JSON array: its numbers and strings, in order, each to its low byte, into
// bytes (cleared first); nulls and other tokens take no place, elements past
// the 32nd are dropped.
void cell_byte_array(const char* text, std::array<std::uint8_t, 32>& bytes);

// "null" (any letter case).
bool cell_is_null(const char* text);
// "false" (any letter case).
bool cell_is_false(const char* text);
