#include "restore/convert_config.h"

#include "channel/channel_layout.h"
#include "channel/config_format.h"
#include "log/log.h"
#include "restore/config_conversion.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Source = std::span<const std::uint8_t>;

constexpr std::uint64_t last_row_index = 602;

enum class ConfigClass { copied, channel, inputs };

ConfigClass class_of(std::uint64_t index)
{
    if (index >= 2 && index <= 5)
        return ConfigClass::channel;
    if (index >= 6 && index <= 9)
        return ConfigClass::inputs;
    return ConfigClass::copied;
}

int not_supported(const char* kind, unsigned stored, unsigned target)
{
    log_color(colour_red, "CONFIGURATION %s CONVERSION VERSION %u to %u IS NOT SUPPORTED!", kind, stored, target);
    return convert_refused;
}

// A conversion that could not produce its file refuses it.
int converted_into(Bytes&& result, Bytes& converted)
{
    if (result.empty())
        return convert_refused;
    converted = std::move(result);
    return convert_done;
}

int copy_into(Source data, Bytes& converted)
{
    converted.assign(data.begin(), data.end());
    return convert_done;
}

int convert_channel(Source data, unsigned stored, unsigned target, Bytes& converted)
{
    const std::size_t old_size = channel_layouts[1].file_size;
    const std::size_t v2_size = channel_layouts[2].file_size;
    switch (stored) {
    case 0:
    case 1:
        if (target <= 1)
            return copy_into(data, converted);
        if (data.size() != old_size)
            return convert_refused;
        return converted_into(target == 2 ? convert_channel_01_to_2(data) : convert_channel_01_to_3(data), converted);
    case 2:
        if (target == 2)
            return copy_into(data, converted);
        if (target < 2)
            return not_supported("dali", stored, target);
        if (data.size() != v2_size)
            return convert_refused;
        return converted_into(convert_channel_2_to_3(data), converted);
    case 3:
        if (target == 3)
            return copy_into(data, converted);
        return not_supported("dali", stored, target);
    default:
        return convert_refused;
    }
}

int convert_inputs(Source data, unsigned stored, unsigned target, Bytes& converted)
{
    switch (stored) {
    case 1:
    case 3:
        return copy_into(data, converted);
    case 2:
        if (target == 2)
            return copy_into(data, converted);
        if (target == 0)
            return not_supported("dalicd", stored, target);
        if (data.size() != inputs_file_size_v2)
            return convert_refused;
        return converted_into(convert_inputs_2_to_3(data), converted);
    default:
        return convert_refused;
    }
}

} // namespace

int convert_config(const BackupRestoreRow* row, const StatusRecord* status, Source data, Bytes& converted)
{
    if (row == nullptr || status == nullptr || data.empty())
        return convert_missing_argument;
    if (row->index > last_row_index)
        return convert_refused;
    const ConfigClass kind = class_of(row->index);
    if (kind == ConfigClass::copied)
        return copy_into(data, converted);

    // Without the firmware version there is no telling which format the
    // controller reads; guessing one could leave it with a file it cannot use.
    if (!status->firmware_version || status->firmware_version->empty()) {
        log_color(colour_red, "The controller did not report its firmware version: %s cannot be converted.",
                  row->controller_path.c_str());
        return convert_refused;
    }
    if (data.size() < header_revision_offset)
        return convert_refused;
    const std::uint32_t stored = read_u32le(data, header_version_offset);
    const std::string& firmware = *status->firmware_version;
    if (kind == ConfigClass::channel)
        return convert_channel(data, stored, dali_format_for_firmware(firmware), converted);
    return convert_inputs(data, stored, cd_format_for_firmware(firmware), converted);
}
