#include "import/csv_cells.h"

#include "json/json_reader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
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

// A number token's low 32 bits. Plain integers, the cells' common case, are
// cut from their digits; fractions, exponents and integers a double may not
// hold exactly take the reader's conversion.
std::uint32_t number_token_bits(JsonReader& reader)
{
    const char* digits = json_reader_string(reader);
    const bool negative = *digits == '-';
    digits += negative;
    std::uint64_t value = 0;
    int count = 0;
    for (; *digits >= '0' && *digits <= '9'; ++digits, ++count)
        value = value * 10 + static_cast<unsigned>(*digits - '0');
    if (*digits != '\0' || count > 15)
        return number_bits(json_reader_number(reader));
    return static_cast<std::uint32_t>(negative ? 0 - value : value);
}

// The value of a number or string token.
std::uint32_t token_value(JsonReader& reader, JsonEvent event)
{
    return event == JE_NUMBER ? number_token_bits(reader) : cell_number(json_reader_string(reader));
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

// Nearly every cell is a plain integer or a flat array of plain integers and
// nulls. Those are scanned here directly, element by element, at the speed
// of the tokeniser; any other text (strings, fractions, nesting, a syntax
// error) makes the scan give up, and the caller reads the cell again from
// the start with the JSON reader, which then gives the same elements.
bool is_json_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

const char* skip_blanks(const char* text)
{
    while (is_json_blank(*text))
        ++text;
    return text;
}

// A JSON integer of at most 15 digits (exact in a double); null when text
// does not start with one.
const char* scan_integer(const char* text, std::uint32_t& bits)
{
    const bool negative = *text == '-';
    const char* digits = text + negative;
    std::uint64_t value = 0;
    int count = 0;
    for (; *digits >= '0' && *digits <= '9'; ++digits, ++count)
        value = value * 10 + static_cast<unsigned>(*digits - '0');
    if (count == 0 || count > 15 || (count > 1 && digits[-count] == '0') || *digits == '.' || *digits == 'e' ||
        *digits == 'E')
        return nullptr;
    bits = static_cast<std::uint32_t>(negative ? 0 - value : value);
    return digits;
}

// element(is_null, bits) for each element of a flat array cell, until it
// returns false or the array ends. False when the cell is not such an array
// up to that point.
template <typename Element>
bool scan_plain_array(const char* text, Element element)
{
    text = skip_blanks(text);
    if (*text++ != '[')
        return false;
    text = skip_blanks(text);
    if (*text == ']')
        return true;
    for (;;) {
        std::uint32_t bits = 0;
        const bool is_null = *text == 'n' && std::strncmp(text, "null", 4) == 0;
        text = is_null ? text + 4 : scan_integer(text, bits);
        if (text == nullptr)
            return false;
        text = skip_blanks(text);
        if (*text != ',' && *text != ']')
            return false;
        if (!element(is_null, bits) || *text == ']')
            return true;
        text = skip_blanks(text + 1);
    }
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
    std::uint32_t bits = 0;
    const char* end = scan_integer(skip_blanks(text), bits);
    if (end != nullptr && *skip_blanks(end) == '\0')
        return static_cast<std::uint8_t>(bits);
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
    std::uint32_t mask = 0;
    const auto add_group = [&](bool is_null, std::uint32_t bits) {
        if (!is_null)
            mask |= 1u << (bits & 31);
        return true;
    };
    if (scan_plain_array(text, add_group))
        return static_cast<std::uint16_t>(mask);
    mask = 0;
    JsonCell cell(text);
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
    std::size_t filled = 0;
    const auto add_scene = [&](bool is_null, std::uint32_t bits) {
        scenes[filled++] = is_null ? 255 : static_cast<std::uint8_t>(bits);
        return filled < scenes.size();
    };
    if (scan_plain_array(text, add_scene))
        return scenes;
    scenes.fill(255);
    filled = 0;
    JsonCell cell(text);
    bool in_array = false;
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
    std::size_t filled = 0;
    const auto add_byte = [&](bool is_null, std::uint32_t bits) {
        if (!is_null && filled < bytes.size())
            bytes[filled++] = static_cast<std::uint8_t>(bits);
        return true;
    };
    if (scan_plain_array(text, add_byte))
        return;
    bytes.fill(0);
    filled = 0;
    JsonCell cell(text);
    bool in_array = false;
    for (JsonEvent event = cell.next(); !ends_reading(event) && event != JE_ARRAY_END; event = cell.next()) {
        if (event == JE_ARRAY)
            in_array = true;
        else if (in_array && (event == JE_NUMBER || event == JE_STRING) && filled < bytes.size())
            bytes[filled++] = static_cast<std::uint8_t>(token_value(cell.reader, event));
    }
}
