#include "import/export_sheets.h"

#include "channel/channel_file.h"
#include "channel/channel_layout.h"
#include "import/import.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

namespace {

// A zero-terminated text field of field_size bytes, as the importer would
// keep it (at most field_size - 1 bytes).
std::string_view text_field(const std::uint8_t* field, std::size_t field_size)
{
    const char* text = reinterpret_cast<const char*>(field);
    return {text, strnlen(text, field_size - 1)};
}

// "[a,b,...]" of the values, without the trailing ones equal to blank,
// which the importer fills in by itself; inner blanks are written as
// blank_text.
template <std::size_t N>
std::string json_array(const std::array<unsigned, N>& values, unsigned blank, std::string_view blank_text)
{
    std::size_t used = values.size();
    while (used > 0 && values[used - 1] == blank)
        --used;
    std::string text = "[";
    for (std::size_t k = 0; k < used; ++k) {
        if (k > 0)
            text += ',';
        text += values[k] == blank ? std::string(blank_text) : std::to_string(values[k]);
    }
    return text + "]";
}

// The group numbers of a membership mask.
std::string json_groups(std::uint16_t mask)
{
    std::string text = "[";
    for (unsigned g = 0; g < channel_group_count; ++g) {
        if ((mask & (1u << g)) == 0)
            continue;
        if (text.size() > 1)
            text += ',';
        text += std::to_string(g);
    }
    return text + "]";
}

void append_row(std::string& sheet, std::initializer_list<std::string> fields)
{
    bool first = true;
    for (const std::string& field : fields) {
        if (!first)
            sheet += ',';
        sheet += csv_field(field);
        first = false;
    }
    sheet += '\n';
}

// A short address that the importer turns back into the record's state;
// 64 (any of 64..254) leaves the state as it is, for a state no other value
// reproduces.
std::string short_address_cell(bool addressed, std::uint8_t byte, bool unaddressed_state)
{
    if (addressed && (byte & 1) && byte < 128)
        return std::to_string(byte >> 1);
    if (!addressed && unaddressed_state)
        return "null";
    return "64";
}

std::string level_or_null(std::uint8_t level)
{
    return level == 255 ? "null" : std::to_string(level);
}

} // namespace

std::string csv_field(std::string_view text)
{
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (std::strchr(" \t", text.front()) || std::strchr(" \t", text.back())));
    if (!quote)
        return std::string(text);
    std::string field = "\"";
    for (char c : text) {
        if (c == '"')
            field += '"';
        field += c;
    }
    return field + "\"";
}

std::string export_channel_sheet(std::span<const std::uint8_t> file, unsigned format)
{
    const ChannelLayout& layout = channel_layouts[format];
    std::string sheet = std::string(channel_csv_version_marker) + "1\n";
    sheet += "# header_value,device_index,short_address,name,groups,power_on_level,system_failure_level,"
             "min_level,max_level,fade_rate,fade_time,scenes\n";
    const std::string header_value = std::to_string(read_u32le(file, header_value_offset));
    for (std::size_t i = 0; i < channel_device_count; ++i) {
        const std::size_t at = device_record_offset(layout, i);
        const std::uint8_t* record = file.data() + at;
        const std::uint32_t flags = read_u32le(file, at + device_flags);
        const std::string_view name = text_field(record + layout.name, device_name_size);
        const bool in_use = (flags & flag_addressed) || !name.empty() || record[device_import_marker] == 255;
        if (!in_use || name.starts_with('#'))
            continue;

        bool unaddressed_state = record[device_short_address] == layout.unaddressed;
        if (layout.address_table != 0) {
            const std::uint8_t* entry = file.data() + layout.address_table + i * address_table_entry_size;
            unaddressed_state = std::all_of(entry, entry + address_table_entry_size, [](std::uint8_t b) { return b == 0; });
        }
        const std::uint8_t power_on = record[device_power_on_level];
        std::array<unsigned, device_scene_count> scenes;
        std::copy_n(record + device_scenes, device_scene_count, scenes.begin());

        append_row(sheet, {header_value, std::to_string(i),
                           short_address_cell(flags & flag_addressed, record[device_short_address], unaddressed_state),
                           std::string(name), json_groups(read_u16le(file, at + device_groups)),
                           (flags & flag_power_on_false) && power_on == 100 ? "false" : level_or_null(power_on),
                           level_or_null(record[device_system_failure_level]), std::to_string(record[device_min_level]),
                           std::to_string(record[device_max_level]), std::to_string(record[device_fade_rate]),
                           std::to_string(record[device_fade_time]), json_array(scenes, 255, "null")});
    }
    return sheet;
}

std::string export_groups_sheet(std::span<const std::uint8_t> file, unsigned format, unsigned channel)
{
    std::string sheet = std::string(groups_csv_version_marker) + "1\n";
    sheet += "# channel (not read),group_index,name\n";
    for (std::size_t g = 0; g < channel_group_count; ++g) {
        const std::uint8_t* record = file.data() + group_record_offset(channel_layouts[format], g);
        const std::string_view name = text_field(record + group_name, group_name_size);
        if (name.starts_with('#'))
            continue;
        append_row(sheet, {std::to_string(channel), std::to_string(g), std::string(name)});
    }
    return sheet;
}

std::string export_inputs_sheet(std::span<const std::uint8_t> file)
{
    std::string sheet = std::string(inputs_csv_version_marker) + "1\n";
    sheet += "# header_value,input_index,short_address,name,flags,instance_count,instance_types,instance_params,"
             "device_param,type1_settings_0,type1_settings_1,type1_settings_2,type1_settings_3,type1_settings_4,"
             "type1_settings_5,type3_settings_1,type3_settings_2,type3_settings_3,type4_settings_1,type4_settings_2\n";
    const std::string header_value = std::to_string(read_u32le(file, header_value_offset));
    for (std::size_t j = 0; j < input_device_count; ++j) {
        const std::size_t at = input_record_offset(j);
        const std::uint8_t* record = file.data() + at;
        const std::uint8_t* table = file.data() + instance_table_offset(j);
        const auto nonzero = [](std::uint8_t b) { return b != 0; };
        if (std::none_of(record, record + input_record_size, nonzero) &&
            std::none_of(table, table + instance_table_size, nonzero))
            continue;
        const std::string_view name = text_field(record + input_name, input_name_size);
        if (name.starts_with('#'))
            continue;

        const std::uint32_t flags = read_u32le(file, at + input_flags);
        const std::uint8_t address = record[input_short_address];
        std::array<unsigned, input_instance_max> types{}, params{};
        for (std::size_t k = 0; k < input_instance_max; ++k) {
            types[k] = record[input_instances + 2 * k];
            params[k] = record[input_instances + 2 * k + 1];
        }
        // Settings column of instance type type, entry byte b: element k is
        // instance k's byte when the instance has that type, else 0.
        const auto settings = [&](unsigned type, std::size_t b) {
            std::array<unsigned, input_instance_max> column{};
            for (std::size_t k = 0; k < input_instance_max; ++k)
                if (types[k] == type)
                    column[k] = table[instance_table_settings + instance_settings_size * k + b];
            return json_array(column, 0, "0");
        };
        append_row(sheet, {header_value, std::to_string(j),
                           short_address_cell(flags & flag_addressed, address, address == 255),
                           std::string(name), std::to_string(flags), std::to_string(record[input_instance_count]),
                           json_array(types, 0, "0"), json_array(params, 0, "0"),
                           "[" + std::to_string(table[instance_table_device_param]) + "]", settings(1, 0),
                           settings(1, 1), settings(1, 2), settings(1, 3), settings(1, 4), settings(1, 5),
                           settings(3, 1), settings(3, 2), settings(3, 3), settings(4, 1), settings(4, 2)});
    }
    return sheet;
}
