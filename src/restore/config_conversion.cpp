#include "restore/config_conversion.h"

#include "channel/channel_layout.h"
#include "channel/crc16.h"

#include <cstring>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Source = std::span<const std::uint8_t>;
using Target = std::span<std::uint8_t>;

// Header bytes that every conversion takes over before the header step.
constexpr std::size_t header_fixed_size = 16;
// Channel header: controller data from 16 to 58; byte 59 stays 0.
constexpr std::size_t channel_header_data_size = 43;
// Inputs header: controller data from 16 to 27.
constexpr std::size_t inputs_header_data_size = 12;
constexpr std::size_t trailer_size = 4;

// Every device record starts with the same 43 bytes: flags, levels, short
// address, groups, scenes, import marker, up to the old device type byte.
constexpr std::size_t record_head_size = 43;

// Where the rest of a device record lies per format: the device type byte,
// the name with the 5 bytes behind it (38 bytes; format 3 keeps 34 of them,
// then a zero byte, then the last 4), and the last 16 bytes.
struct RecordPlaces {
    std::size_t device_type;
    std::size_t name_block;
    std::size_t end_block;
};
constexpr RecordPlaces places_v01{42, 94, 136};
constexpr RecordPlaces places_v2{44, 106, 144};
constexpr RecordPlaces places_v3{43, 45, 84};
constexpr std::size_t name_block_size = 38;
constexpr std::size_t name_block_v3_head = 34;
constexpr std::size_t name_block_v3_tail = 80;
constexpr std::size_t name_block_tail_size = 4;
constexpr std::size_t end_block_size = 16;

// Formats 0 and 1 keep the type-specific data of a device in one area;
// format 2 has an area per device type that carries data.
constexpr std::size_t type_data_v01 = 44;
struct TypeData {
    std::uint8_t device_type;
    std::size_t offset_v2;
    std::size_t size;
};
constexpr TypeData type_data_v2[] = {{5, 46, 3}, {6, 49, 7}, {8, 56, 50}};

constexpr std::uint8_t no_device_type = 255;

// Only device types that the newer formats know travel; others become "none".
std::uint8_t carried_device_type(std::uint8_t device_type)
{
    for (const TypeData& known : type_data_v2)
        if (known.device_type == device_type)
            return device_type;
    return no_device_type;
}

void copy_bytes(Target target, std::size_t to, Source source, std::size_t from, std::size_t n)
{
    std::memcpy(target.data() + to, source.data() + from, n);
}

// The name block in format 3: 34 bytes, a zero byte, then the last 4.
void move_name_block_to_v3(Source record, std::size_t name_block, Target target)
{
    copy_bytes(target, places_v3.name_block, record, name_block, name_block_v3_head);
    copy_bytes(target, name_block_v3_tail, record, name_block + name_block_v3_head, name_block_tail_size);
}

void record_01_to_2(Source record, Target target)
{
    copy_bytes(target, 0, record, 0, record_head_size);
    const std::uint8_t device_type = record[places_v01.device_type];
    target[places_v2.device_type] = carried_device_type(device_type);
    target[places_v2.device_type + 1] = no_device_type;
    for (const TypeData& data : type_data_v2)
        if (data.device_type == device_type)
            copy_bytes(target, data.offset_v2, record, type_data_v01, data.size);
    copy_bytes(target, places_v2.name_block, record, places_v01.name_block, name_block_size);
    copy_bytes(target, places_v2.end_block, record, places_v01.end_block, end_block_size);
}

void record_01_to_3(Source record, Target target)
{
    copy_bytes(target, 0, record, 0, record_head_size);
    target[places_v3.device_type] = carried_device_type(record[places_v01.device_type]);
    target[places_v3.device_type + 1] = no_device_type;
    move_name_block_to_v3(record, places_v01.name_block, target);
    copy_bytes(target, places_v3.end_block, record, places_v01.end_block, end_block_size);
}

void record_2_to_3(Source record, Target target)
{
    copy_bytes(target, 0, record, 0, record_head_size);
    // The device type and its companion byte, as they are.
    copy_bytes(target, places_v3.device_type, record, places_v2.device_type, 2);
    move_name_block_to_v3(record, places_v2.name_block, target);
    copy_bytes(target, places_v3.end_block, record, places_v2.end_block, end_block_size);
}

// The header step every conversion ends with: the source's first 16 bytes,
// one revision more, the new format and size, and the checksum over the
// whole new file.
void finish_header(Source source, Bytes& target, unsigned format)
{
    copy_bytes(target, 0, source, 0, header_fixed_size);
    write_u32le(target, header_revision_offset, read_u32le(source, header_revision_offset) + 1);
    write_u32le(target, header_version_offset, format);
    write_u32le(target, header_size_offset, static_cast<std::uint32_t>(target.size()));
    seal_config_file(target);
}

// What all channel conversions share: header data, the device records one by
// one, the group records whole, the trailer. The address table of formats 0
// and 1 has no place in the newer formats and is dropped.
Bytes convert_channel(Source source, unsigned from, unsigned to, void (*convert_record)(Source, Target))
{
    const ChannelLayout& in = channel_layouts[from];
    const ChannelLayout& out = channel_layouts[to];
    if (source.size() != in.file_size)
        return {};
    Bytes target(out.file_size, 0);
    copy_bytes(target, header_value_offset, source, header_value_offset, channel_header_data_size);
    for (std::size_t i = 0; i < channel_device_count; ++i)
        convert_record(source.subspan(device_record_offset(in, i), in.record_size),
                       Target(target).subspan(device_record_offset(out, i), out.record_size));
    copy_bytes(target, out.groups, source, in.groups, channel_group_count * channel_group_record_size);
    copy_bytes(target, trailer_offset(out), source, trailer_offset(in), trailer_size);
    finish_header(source, target, to);
    return target;
}

// Format 2 packs each instance's settings by its type's width from the
// table's start; format 3 gives instance k its own 6-byte slot.
constexpr std::size_t packed_device_param = 192;
std::size_t packed_width(std::uint8_t instance_type)
{
    switch (instance_type) {
    case 1:
        return 6;
    case 3:
        return 4;
    case 4:
        return 3;
    default:
        return 0;
    }
}

} // namespace

Bytes convert_channel_01_to_2(Source source)
{
    return convert_channel(source, 1, 2, record_01_to_2);
}

Bytes convert_channel_01_to_3(Source source)
{
    return convert_channel(source, 1, 3, record_01_to_3);
}

Bytes convert_channel_2_to_3(Source source)
{
    return convert_channel(source, 2, 3, record_2_to_3);
}

Bytes convert_inputs_2_to_3(Source source)
{
    if (source.size() != inputs_file_size_v2)
        return {};
    Bytes target(inputs_file_size, 0);
    copy_bytes(target, header_value_offset, source, header_value_offset, inputs_header_data_size);
    // The last 3 bytes of each device record are not carried over.
    constexpr std::size_t record_kept = 97;
    for (std::size_t j = 0; j < input_device_count; ++j) {
        const std::size_t record = input_record_offset(j);
        copy_bytes(target, record, source, record, record_kept);
        const std::size_t from = instance_tables + j * instance_table_size_v2;
        const std::size_t to = instance_table_offset(j);
        bool has_push_button = false;
        for (std::size_t k = 0; k < input_instance_max; ++k) {
            const std::uint8_t type = target[record + input_instances + 2 * k];
            const std::size_t width = packed_width(type);
            copy_bytes(target, to + instance_table_settings + instance_settings_size * k, source, from + width * k,
                       width);
            has_push_button = has_push_button || type == 1;
        }
        if (has_push_button)
            target[to + instance_table_device_param] = source[from + packed_device_param];
    }
    finish_header(source, target, 3);
    return target;
}
