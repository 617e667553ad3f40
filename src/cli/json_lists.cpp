#include "cli/options.h"

#include "catalogue/backup_catalogue.h"
#include "json/json_reader.h"

#include <climits>
#include <cstdlib>
#include <string_view>

namespace {

template <typename OnValue>
void read_json_list(const char* value, OnValue on_value)
{
    JsonReader reader;
    json_reader_open_text(reader, value);
    for (;;) {
        const JsonEvent event = json_reader_next(reader);
        if (event == JE_ERROR || event == JE_DONE || event == JE_ARRAY_END)
            break;
        if (event == JE_STRING || event == JE_NUMBER)
            on_value(event, reader);
    }
    json_reader_close(reader);
}

// Truncates toward zero; a number no int can hold is no channel, and 0
// ends the list for every reader.
int channel_from_number(double number)
{
    if (!(number > INT_MIN - 1.0 && number < INT_MAX + 1.0))
        return 0;
    return static_cast<int>(number);
}

// As atoi reads a word (leading blanks, a sign, the digits up to the first
// other byte), but a number no int can hold is no channel rather than an
// arbitrary wrapped value.
int channel_from_text(const char* text)
{
    const long number = std::strtol(text, nullptr, 10);
    if (number < INT_MIN || number > INT_MAX)
        return 0;
    return static_cast<int>(number);
}

} // namespace

std::vector<std::string> json_text_list(const char* value)
{
    std::vector<std::string> list;
    read_json_list(value, [&](JsonEvent event, JsonReader& reader) {
        if (event == JE_STRING)
            list.emplace_back(json_reader_string(reader));
    });
    return list;
}

std::optional<std::vector<std::string>> json_config_name_list(const char* value)
{
    JsonReader reader;
    json_reader_open_text(reader, value);
    std::optional<std::vector<std::string>> names;
    if (json_reader_next(reader) == JE_ARRAY) {
        names.emplace();
        JsonEvent event;
        while ((event = json_reader_next(reader)) == JE_STRING) {
            // The whole string: one with "\u0000" inside is not cut short.
            std::size_t length = 0;
            const char* text = json_reader_string(reader, &length);
            const std::string_view name(text, length > 0 ? length - 1 : 0);
            if (!backup_config_name_valid(name))
                break;
            names->emplace_back(name);
        }
        // The array must end here, and the text with it.
        const JsonSource& rest = reader.source;
        const bool ends = event == JE_ARRAY_END && json_reader_next(reader) == JE_DONE &&
                          std::string_view(rest.text + rest.position, rest.length - rest.position)
                                  .find_first_not_of(" \t\r\n") == std::string_view::npos;
        if (!ends || names->empty())
            names.reset();
    }
    json_reader_close(reader);
    return names;
}

std::vector<int> json_channel_list(const char* value)
{
    std::vector<int> list;
    read_json_list(value, [&](JsonEvent event, JsonReader& reader) {
        if (event == JE_STRING)
            list.push_back(channel_from_text(json_reader_string(reader)));
        else
            list.push_back(channel_from_number(json_reader_number(reader)));
    });
    return list;
}
