#pragma once
// Where things lie in the controller's binary channel files
// ("/etc/config/dali/dali%u.bin") and inputs files ("/etc/config/dali/cd%u.bin").
// All numbers in the files are little-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

// Header fields shared by channel and inputs files.
inline constexpr std::size_t header_size_offset = 0;
inline constexpr std::size_t header_crc_offset = 4;
inline constexpr std::size_t header_version_offset = 8;
inline constexpr std::size_t header_revision_offset = 12;
inline constexpr std::size_t header_value_offset = 16;

inline constexpr std::size_t channel_header_size = 60;
inline constexpr std::size_t channel_device_count = 64;
inline constexpr std::size_t channel_group_count = 16;
inline constexpr std::size_t channel_group_record_size = 38;
inline constexpr std::size_t channel_file_max_size = 11168;

// Device record fields at the same place in every format.
inline constexpr std::size_t device_flags = 0;
inline constexpr std::size_t device_power_on_level = 5;
inline constexpr std::size_t device_system_failure_level = 6;
inline constexpr std::size_t device_min_level = 7;
inline constexpr std::size_t device_max_level = 8;
inline constexpr std::size_t device_fade_rate = 9;
inline constexpr std::size_t device_fade_time = 10;
inline constexpr std::size_t device_short_address = 11;
inline constexpr std::size_t device_groups = 18;
inline constexpr std::size_t device_scenes = 20;
inline constexpr std::size_t device_scene_count = 16;
inline constexpr std::size_t device_import_marker = 36;
inline constexpr std::size_t device_name_size = 33; // 32 bytes of text and a zero

inline constexpr std::size_t group_name = 0;
inline constexpr std::size_t group_name_size = 33;
inline constexpr std::size_t group_import_marker = 36;

// Formats 0 and 1 share one layout; the rest differ per format.
struct ChannelLayout {
    std::size_t file_size;
    std::size_t record_size;
    std::size_t device_type;           // offset within a device record
    std::size_t device_type_companion; // 0 where the format has none
    std::size_t name;                  // offset within a device record
    std::size_t groups;                // first group record
    std::uint8_t unaddressed;          // short address of a device without one
    std::size_t address_table;         // 0 where the format has none
};

inline constexpr std::size_t address_table_entry_size = 12;

inline constexpr std::array<ChannelLayout, 4> channel_layouts{{
    {11168, 152, 42, 0, 94, 9788, 0, 10396},
    {11168, 152, 42, 0, 94, 9788, 0, 10396},
    {10912, 160, 44, 45, 106, 10300, 0, 0},
    {7072, 100, 43, 44, 45, 6460, 255, 0},
}};

// Start of device record i and group record g in a file of the given layout.
constexpr std::size_t device_record_offset(const ChannelLayout& layout, std::size_t i) {
    return channel_header_size + i * layout.record_size;
}
constexpr std::size_t group_record_offset(const ChannelLayout& layout, std::size_t g) {
    return layout.groups + g * channel_group_record_size;
}
// The last four bytes of the file, kept as read.
constexpr std::size_t trailer_offset(const ChannelLayout& layout) { return layout.file_size - 4; }

// Inputs files. Format 3 is the one the setup action writes; format 2 is
// only ever converted from.
inline constexpr std::size_t inputs_header_size = 28;
inline constexpr std::size_t inputs_file_size_v2 = 9436;
inline constexpr std::size_t inputs_file_size = 9564; // format 3
inline constexpr std::size_t input_device_count = 32;
inline constexpr std::size_t input_record_size = 100;
inline constexpr std::size_t input_flags = 0;
inline constexpr std::size_t input_short_address = 8;
inline constexpr std::size_t input_instance_count = 10;
inline constexpr std::size_t input_import_marker = 13;
inline constexpr std::size_t input_instances = 16; // 32 entries of (type, parameter)
inline constexpr std::size_t input_instance_max = 32;
inline constexpr std::size_t input_name = 80;
inline constexpr std::size_t input_name_size = 17; // 16 bytes of text and a zero
inline constexpr std::size_t instance_tables = 3228;
inline constexpr std::size_t instance_table_size_v2 = 194;
inline constexpr std::size_t instance_table_size = 198; // format 3
inline constexpr std::size_t instance_table_device_param = 1;
inline constexpr std::size_t instance_table_settings = 6; // slot k at 6 + 6k
inline constexpr std::size_t instance_settings_size = 6;

constexpr std::size_t input_record_offset(std::size_t j) {
    return inputs_header_size + j * input_record_size;
}
constexpr std::size_t instance_table_offset(std::size_t j) {
    return instance_tables + j * instance_table_size;
}

// The channel file and inputs file that the setup action builds for one
// channel; both start all zero. A smaller channel format uses the first bytes.
struct ChannelConfigImage {
    std::array<std::uint8_t, channel_file_max_size> channel{};
    std::array<std::uint8_t, inputs_file_size> inputs{};
};

inline std::uint32_t read_u32le(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return std::uint32_t(bytes[offset]) | std::uint32_t(bytes[offset + 1]) << 8 |
           std::uint32_t(bytes[offset + 2]) << 16 | std::uint32_t(bytes[offset + 3]) << 24;
}
inline void write_u32le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = std::uint8_t(value >> (8 * i));
}
inline std::uint16_t read_u16le(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return std::uint16_t(bytes[offset] | bytes[offset + 1] << 8);
}
inline void write_u16le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = std::uint8_t(value);
    bytes[offset + 1] = std::uint8_t(value >> 8);
}
