// The cell conversions against the JSON reader: plain cells are scanned
// without it, so random cells, plain and not, must give what reading them
// token by token gives. The reference readings below follow the sheet rules
// directly on the reader's events.
#include "import/csv_cells.h"
#include "json/json_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

struct Events {
    JsonReader reader;
    explicit Events(const std::string& text) { json_reader_open_text(reader, text.c_str()); }
    ~Events() { json_reader_close(reader); }
};

std::uint32_t value_of(JsonReader& reader, JsonEvent event)
{
    if (event == JE_STRING)
        return static_cast<std::uint32_t>(std::strtol(json_reader_string(reader), nullptr, 10));
    const double number = std::trunc(json_reader_number(reader));
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(std::fmod(number, 4294967296.0)));
}

std::uint16_t reference_groups(const std::string& text)
{
    Events e(text);
    std::uint32_t mask = 0;
    bool in_array = false;
    for (JsonEvent ev = json_reader_next(e.reader); ev != JE_DONE && ev != JE_ERROR && ev != JE_ARRAY_END;
         ev = json_reader_next(e.reader)) {
        if (ev == JE_ARRAY)
            in_array = true;
        else if (in_array && (ev == JE_NUMBER || ev == JE_STRING))
            mask |= 1u << (value_of(e.reader, ev) & 31);
    }
    return static_cast<std::uint16_t>(mask);
}

std::vector<int> reference_scenes(const std::string& text)
{
    Events e(text);
    std::vector<int> scenes;
    bool in_array = false;
    for (JsonEvent ev = json_reader_next(e.reader);
         ev != JE_DONE && ev != JE_ERROR && ev != JE_ARRAY_END && scenes.size() < 16; ev = json_reader_next(e.reader)) {
        if (ev == JE_ARRAY)
            in_array = true;
        else if (in_array && (ev == JE_NUMBER || ev == JE_STRING))
            scenes.push_back(value_of(e.reader, ev) & 0xFF);
        else if (in_array && ev == JE_NULL)
            scenes.push_back(255);
    }
    scenes.resize(16, 255);
    return scenes;
}

std::vector<int> reference_bytes(const std::string& text)
{
    Events e(text);
    std::vector<int> bytes;
    bool in_array = false;
    for (JsonEvent ev = json_reader_next(e.reader); ev != JE_DONE && ev != JE_ERROR && ev != JE_ARRAY_END;
         ev = json_reader_next(e.reader)) {
        if (ev == JE_ARRAY)
            in_array = true;
        else if (in_array && (ev == JE_NUMBER || ev == JE_STRING) && bytes.size() < 32)
            bytes.push_back(value_of(e.reader, ev) & 0xFF);
    }
    bytes.resize(32, 0);
    return bytes;
}

int reference_short_address(const std::string& text)
{
    Events e(text);
    int address = 0;
    for (JsonEvent ev = json_reader_next(e.reader); ev != JE_DONE && ev != JE_ERROR; ev = json_reader_next(e.reader)) {
        if (ev == JE_NUMBER || ev == JE_STRING)
            address = value_of(e.reader, ev) & 0xFF;
        else if (ev == JE_NULL)
            address = 255;
    }
    return address;
}

// Cells built from pieces that plain cells are made of, and some that
// break them: most come out as valid flat arrays, many do not.
std::string random_cell(std::mt19937& random)
{
    static const char* const pieces[] = {"1", "23", "255", "256", "-1", "0", "007", "1.5", "2e2", "null",
                                         "\"4\"", "true", "[9]", " ", "x", "999999999999999", "4294967297",
                                         "12345678901234567890"};
    std::uniform_int_distribution<int> piece(0, std::size(pieces) - 1), count(0, 20), coin(0, 9);
    std::string cell = coin(random) == 0 ? "" : "[";
    const int n = count(random);
    for (int k = 0; k < n; ++k) {
        if (k > 0)
            cell += coin(random) == 0 ? " " : ",";
        cell += pieces[piece(random)];
        if (coin(random) == 0)
            cell += " ";
    }
    if (coin(random) != 0)
        cell += "]";
    if (coin(random) == 0)
        cell += ",5]";
    return cell;
}

TEST(CsvCells, RandomCellsReadAsTheJsonReaderReadsThem)
{
    std::mt19937 random(20261210);
    for (int i = 0; i < 20000; ++i) {
        const std::string cell = random_cell(random);
        SCOPED_TRACE(cell);
        ASSERT_EQ(cell_groups(cell.c_str()), reference_groups(cell));
        const std::array<std::uint8_t, 16> scenes = cell_scenes(cell.c_str());
        ASSERT_EQ(std::vector<int>(scenes.begin(), scenes.end()), reference_scenes(cell));
        std::array<std::uint8_t, 32> bytes;
        cell_byte_array(cell.c_str(), bytes);
        ASSERT_EQ(std::vector<int>(bytes.begin(), bytes.end()), reference_bytes(cell));
        ASSERT_EQ(cell_short_address(cell.c_str()), reference_short_address(cell));
        const std::string bare = cell.substr(cell.find_first_not_of('[') == std::string::npos ? 0 : 1);
        ASSERT_EQ(cell_short_address(bare.c_str()), reference_short_address(bare));
    }
}

} // namespace
