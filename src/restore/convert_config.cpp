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

enum class Outcome {
    done,
    not_supported,  // to an older format; its message is out
    cannot_convert, // unknown stored format or a length that does not fit it
};

Outcome not_supported(const char* kind, unsigned stored, unsigned target)
{
    log_color(colour_red, "CONFIGURATION %s CONVERSION VERSION %u to %u IS NOT SUPPORTED!", kind, stored, target);
    return Outcome::not_supported;
}

// A conversion that could not produce its file gives nothing.
Outcome converted_into(Bytes&& result, Bytes& converted)
{
    if (result.empty())
        return Outcome::cannot_convert;
    converted = std::move(result);
    return Outcome::done;
}

Outcome copy_into(Source data, Bytes& converted)
{
    converted.assign(data.begin(), data.end());
    return Outcome::done;
}

Outcome convert_channel(Source data, std::uint32_t stored, unsigned target, Bytes& converted)
{
    switch (stored) {
    case 0:
    case 1:
        if (target <= 1)
            return copy_into(data, converted);
        if (data.size() != channel_layouts[1].file_size)
            return Outcome::cannot_convert;
        return converted_into(target == 2 ? convert_channel_01_to_2(data) : convert_channel_01_to_3(data), converted);
    case 2:
        if (target == 2)
            return copy_into(data, converted);
        if (target < 2)
            return not_supported("dali", stored, target);
        if (data.size() != channel_layouts[2].file_size)
            return Outcome::cannot_convert;
        return converted_into(convert_channel_2_to_3(data), converted);
    case 3:
        if (target == 3)
            return copy_into(data, converted);
        return not_supported("dali", stored, target);
    default:
        return Outcome::cannot_convert;
    }
}

Outcome convert_inputs(Source data, std::uint32_t stored, unsigned target, Bytes& converted)
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
            return Outcome::cannot_convert;
        return converted_into(convert_inputs_2_to_3(data), converted);
    default:
        return Outcome::cannot_convert;
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
    if (kind == ConfigClass::copied) {
        copy_into(data, converted);
        return convert_done;
    }

    const char* path = row->controller_path.c_str();
    // Without the firmware version there is no telling which format the
    // controller reads; guessing one could leave it with a file it cannot use.
    if (!status->firmware_version || status->firmware_version->empty()) {
        log_color(colour_red, "The controller did not report its firmware version: %s cannot be converted.", path);
        return convert_refused;
    }
    if (data.size() < header_version_offset + 4) {
        log_color(colour_red, "%s is too short (%zu bytes) to hold its format.", path, data.size());
        return convert_refused;
    }
    const std::string& firmware = *status->firmware_version;
    const std::uint32_t stored = read_u32le(data, header_version_offset);
    const Outcome outcome = kind == ConfigClass::channel
                                ? convert_channel(data, stored, dali_format_for_firmware(firmware), converted)
                                : convert_inputs(data, stored, cd_format_for_firmware(firmware), converted);
    if (outcome == Outcome::cannot_convert)
        log_color(colour_red, "%s (format %u, %zu bytes) cannot be converted for firmware %s.", path, stored,
                  data.size(), firmware.c_str());
    return outcome == Outcome::done ? convert_done : convert_refused;
}
