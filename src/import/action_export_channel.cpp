#include "import/action_export_channel.h"

#include "backup/backup.h"
#include "channel/channel_file.h"
#include "channel/config_format.h"
#include "import/export_sheets.h"
#include "log/log.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

bool write_sheet(const std::string& folder, const std::string& name, const std::string& sheet)
{
    const std::optional<std::string> path = path_join(folder, name);
    if (!path) {
        log_color(colour_red, "Path of '%s' in '%s' is too long.", name.c_str(), folder.c_str());
        return false;
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(sheet.data());
    if (const int error = atomic_file_write_whole(*path, {bytes, sheet.size()})) {
        log_color(colour_red, "Error writing '%s': %s.", path->c_str(), std::strerror(error));
        return false;
    }
    log_color(colour_green, "Wrote '%s'.", path->c_str());
    return true;
}

// The inputs sheet, when the controller keeps its inputs in format 3.
bool export_inputs(const std::string& base_address, unsigned channel, const std::string& folder,
                   const std::string& firmware_version, ChannelConfigImage& image)
{
    if (cd_format_for_firmware(firmware_version) != 3) {
        log_info("No inputs sheet for channel %u: firmware %s keeps no inputs file of format 3.", channel,
                 firmware_version.c_str());
        return true;
    }
    BackupRecord backup;
    if (backup_fetch(base_address, "cd" + std::to_string(channel), backup) != 0 ||
        read_cd_file(backup, channel, image) != 0) {
        log_color(colour_red, "The inputs file of channel %u could not be downloaded.", channel);
        return false;
    }
    return write_sheet(folder, "cd" + std::to_string(channel) + "-inputs.csv", export_inputs_sheet(image.inputs));
}

bool export_one_channel(const std::string& ip, unsigned channel, const std::string& folder)
{
    const std::string base_address = "http://" + ip;
    BackupRecord backup;
    auto image = std::make_unique<ChannelConfigImage>();
    if (backup_fetch(base_address, "dali" + std::to_string(channel), backup) != 0 ||
        read_dali_file(backup, channel, *image) != 0) {
        log_color(colour_red, "The channel file of channel %u could not be downloaded.", channel);
        return false;
    }
    const std::optional<unsigned> format = backup_dali_format(backup);
    if (!format) {
        log_color(colour_red, "The controller did not name its firmware version.");
        return false;
    }
    const std::string prefix = "dali" + std::to_string(channel);
    bool written = write_sheet(folder, prefix + "-channel.csv", export_channel_sheet(image->channel, *format));
    written = write_sheet(folder, prefix + "-groups.csv", export_groups_sheet(image->channel, *format, channel)) &&
              written;
    return export_inputs(base_address, channel, folder, *backup.firmware_version, *image) && written;
}

} // namespace

int action_export_channel(const std::optional<std::string>& ip, const std::vector<int>& channels,
                          const std::optional<std::string>& folder)
{
    if (!ip || ip->empty() || channels.empty() || !folder || folder->empty()) {
        std::printf("Missing arguments for action export_channel.");
        log_color(colour_red, "Missing arguments for action export_channel.");
        return 2;
    }
    // A folder that cannot be made is refused before the controller is asked.
    if (const int error = folder_create(*folder)) {
        log_color(colour_red, "Could not create the output folder %s: %s", folder->c_str(), std::strerror(error));
        return 1;
    }
    int result = 0;
    for (int channel : channels)
        if (!export_one_channel(*ip, static_cast<unsigned>(channel), *folder))
            result = 1;
    return result;
}
