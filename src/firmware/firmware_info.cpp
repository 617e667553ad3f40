#include "firmware/firmware_info.h"

#include "log/log.h"
#include "log/printable.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

// Record layout: offsets from the record's start.
constexpr std::size_t model_name_at = 12;
constexpr std::size_t model_description_at = 45;
constexpr std::size_t version_string_at = 78;
constexpr std::size_t version_number_at = 112;
constexpr std::size_t version_date_at = 116;
constexpr std::size_t version_time_at = 149;
constexpr std::size_t dali_number_of_channel_at = 182;

template <std::size_t N>
void copy_field(std::span<const std::uint8_t> record, std::size_t at, std::array<char, N>& field)
{
    std::memcpy(field.data(), record.data() + at, N);
}

// The field's text as it may be shown: a field without its NUL ends at the
// field's end, and control characters from the package are neutralised.
template <std::size_t N>
std::string field_text(const std::array<char, N>& field)
{
    return printable(std::string_view(field.data(), strnlen(field.data(), N)));
}

bool is_known_model(const FirmwareInfo& info)
{
    static constexpr std::string_view models[] = {"ZANTOR-4", "ZANTOR-3", "ZANTOR-2", "ZANTOR-1"};
    const std::string_view name(info.model_name.data(), 8);
    for (const std::string_view model : models) {
        if (name == model && info.model_name[8] == '\0')
            return true;
    }
    return false;
}

} // namespace

int firmware_read_info(std::span<const std::uint8_t> image, FirmwareInfo& info)
{
    if (image.size() < firmware_image_min_size)
        return 1;
    const std::span<const std::uint8_t> record = image.subspan(firmware_info_offset, firmware_info_size);
    std::memcpy(info.header.data(), record.data(), info.header.size());
    copy_field(record, model_name_at, info.model_name);
    copy_field(record, model_description_at, info.model_description);
    copy_field(record, version_string_at, info.version_string);
    info.version_number = static_cast<std::uint32_t>(record[version_number_at]) |
                          static_cast<std::uint32_t>(record[version_number_at + 1]) << 8 |
                          static_cast<std::uint32_t>(record[version_number_at + 2]) << 16 |
                          static_cast<std::uint32_t>(record[version_number_at + 3]) << 24;
    copy_field(record, version_date_at, info.version_date);
    copy_field(record, version_time_at, info.version_time);
    info.dali_number_of_channel = record[dali_number_of_channel_at];
    return 0;
}

int firmware_check_info(std::span<const std::uint8_t> image)
{
    if (image.empty() || image.size() > firmware_image_max_size)
        return 1;
    FirmwareInfo info;
    if (firmware_read_info(image, info) != 0)
        return 1;
    if (!is_known_model(info))
        return -1;
    log_info("== Firmware Info ==");
    log_info("model_name=%s", field_text(info.model_name).c_str());
    log_info("model_description=%s", field_text(info.model_description).c_str());
    log_info("version_string=%s", field_text(info.version_string).c_str());
    log_info("version_number=%u", info.version_number);
    log_info("version_date=%s", field_text(info.version_date).c_str());
    log_info("version_time=%s", field_text(info.version_time).c_str());
    log_info("dali_number_of_channel=%u", static_cast<unsigned>(info.dali_number_of_channel));
    log_info("== ==");
    return 0;
}
