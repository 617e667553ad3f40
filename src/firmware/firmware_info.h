#pragma once
// The information record that every firmware image carries at a fixed place,
// and the size and model rules an image must meet before it is sent.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr std::size_t firmware_info_offset = 0x1C0000;
inline constexpr std::size_t firmware_info_size = 184;
inline constexpr std::size_t firmware_image_min_size = firmware_info_offset + firmware_info_size;
inline constexpr std::size_t firmware_image_max_size = 0xFFFFFE;

// Text fields are NUL-terminated within the field when the image is sound;
// readers must not rely on it.
struct FirmwareInfo {
    std::array<std::uint8_t, 12> header{};
    std::array<char, 33> model_name{};
    std::array<char, 33> model_description{};
    std::array<char, 33> version_string{};
    std::uint32_t version_number = 0;
    std::array<char, 33> version_date{};
    std::array<char, 33> version_time{};
    std::uint8_t dali_number_of_channel = 0;
};

// 0 when the record was copied out of the image, 1 when the image is too
// short to hold it.
int firmware_read_info(std::span<const std::uint8_t> image, FirmwareInfo& info);

// 0 for an image that may be sent (its record is then logged), 1 for a size
// outside the limits, -1 for a model other than ZANTOR-1 to ZANTOR-4.
int firmware_check_info(std::span<const std::uint8_t> image);
