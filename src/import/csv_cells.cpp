#include "import/csv_cells.h"

#include "json/json_reader.h"

#include <cmath>
#include <cstdlib>
#include <strings.h>

namespace {

// A JSON number truncated toward zero, then cut to its low 32 bits; a value
// beyond any integer type (or not a number) must not reach a conversion
// that would be undefined.
std::uint32_t number_bits(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(std::fmod(std::trunc(value), 4294967296.0)));
}

// The value of a number or string token.
std::uint32_t token_value(JsonReader& reader, JsonEvent event)
{
    return event == JE_NUMBER ? number_bits(json_reader_number(reader)) : cell_number(json_reader_string(reader));
}

// Closes the reader however the cell's reading ends.
struct JsonCell {
    JsonReader reader;
    explicit JsonCell(const char* text) { json_reader_open_text(reader, text); }
    ~JsonCell() { json_reader_close(reader); }
    JsonEvent next() { return json_reader_next(reader); }
};

bool ends_reading(JsonEvent event)
{
    return event == JE_DONE || event == JE_ERROR;
}

} // namespace

std::uint32_t cell_number(const char* text)
{
    // atoi is strtol cut to int; strtol saturates instead of overflowing.
    return static_cast<std::uint32_t>(std::strtol(text, nullptr, 10));
}

bool cell_is_null(const char* text)
{
    return strcasecmp(text, "null") == 0;
}

bool cell_is_false(const char* text)
{
    return strcasecmp(text, "false") == 0;
}

std::uint8_t cell_short_address(const char* text)
{
    JsonCell cell(text);
    std::uint8_t address = 0;
    for (JsonEvent event = cell.next(); !ends_reading(event); event = cell.next()) {
        if (event == JE_NUMBER || event == JE_STRING)
            address = static_cast<std::uint8_t>(token_value(cell.reader, event));
        else if (event == JE_NULL)
            address = 255;
    }
    return address;
}

std::uint16_t cell_groups(const char* text)
{
    JsonCell cell(text);
    std::uint32_t mask = 0;
    bool in_array = false;
    for (JsonEvent event = cell.next(); !ends_reading(event) && event != JE_ARRAY_END; event = cell.next()) {
        if (event == JE_ARRAY)
            in_array = true;
        else if (in_array && (event == JE_NUMBER || event == JE_STRING))
            mask |= 1u << (token_value(cell.reader, event) & 31);
    }
    return static_cast<std::uint16_t>(mask);
}

std::array<std::uint8_t, 16> cell_scenes(const char* text)
{
    std::array<std::uint8_t, 16> scenes;
    scenes.fill(255);
    JsonCell cell(text);
    bool in_array = false;
    std::size_t filled = 0;
    for (JsonEvent event = cell.next(); !ends_reading(event) && event != JE_ARRAY_END && filled < scenes.size();
         event = cell.next()) {
        if (event == JE_ARRAY)
            in_array = true;
        else if (in_array && (event == JE_NUMBER || event == JE_STRING))
            scenes[filled++] = static_cast<std::uint8_t>(token_value(cell.reader, event));
        else if (in_array && event == JE_NULL)
            scenes[filled++] = 255;
    }
    return scenes;
}

void cell_byte_array(const char* text, std::array<std::uint8_t, 32>& bytes)
{
    bytes.fill(0);
    JsonCell cell(text);
    bool in_array = false;
    std::size_t filled = 0;
    for (JsonEvent event = cell.next(); !ends_reading(event) && event != JE_ARRAY_END; event = cell.next()) {
        if (event == JE_ARRAY)
            in_array = true;
        else if (in_array && (event == JE_NUMBER || event == JE_STRING) && filled < bytes.size())
            bytes[filled++] = static_cast<std::uint8_t>(token_value(cell.reader, event));
    }
}
