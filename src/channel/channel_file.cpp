#include "channel/channel_file.h"

#include "channel/config_format.h"
#include "channel/crc16.h"
#include "log/log.h"
#include "tar/tar.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

namespace {

// Seals file and appends it to tar as the member path; failures are
// reported and leave the member incomplete.
void write_member(TarStream& tar, const std::string& path, std::span<std::uint8_t> file)
{
    seal_config_file(file);
    if (tar_write_file_header(tar, path, static_cast<std::uint32_t>(file.size())) != TAR_SUCCESS) {
        std::printf("%s\terror writing file '%s' header.\r\n", "backup", path.c_str());
        log_color(colour_red, "Error writing file '%s' header.", path.c_str());
        return;
    }
    if (tar_write_data(tar, file.data(), static_cast<std::uint32_t>(file.size())) != TAR_SUCCESS) {
        std::printf("%s\terror writing file '%s' data.\r\n", "backup", path.c_str());
        log_color(colour_red, "Error writing file '%s' data.", path.c_str());
    }
}

// Copies the member path of backup's TAR into region, cut to its size.
int read_member(const BackupRecord& backup, const std::string& path, std::span<std::uint8_t> region)
{
    TarStream tar;
    TarHeader header;
    if (tar_open_memory_reader(tar, backup.data) != TAR_SUCCESS || tar_find(tar, path, &header) != TAR_SUCCESS) {
        std::printf("%s\terror '%s' file not found.\r\n", "backup", path.c_str());
        log_color(colour_red, "Error '%s' file not found.", path.c_str());
        return 1;
    }
    if (header.size == 0) {
        std::printf("%s\terror '%s' file size error.\r\n", "backup", path.c_str());
        log_color(colour_red, "Error '%s' file size error.", path.c_str());
        return 1;
    }
    std::vector<std::uint8_t> member(header.size);
    if (tar_read_data(tar, member.data(), header.size) != TAR_SUCCESS) {
        std::printf("%s\terror reading '%s'\r\n", "backup", path.c_str());
        log_color(colour_red, "Error reading '%s'.", path.c_str());
        return 1;
    }
    std::copy_n(member.begin(), std::min(member.size(), region.size()), region.begin());
    return 0;
}

} // namespace

std::string dali_file_path(unsigned channel)
{
    return "/etc/config/dali/dali" + std::to_string(channel) + ".bin";
}

std::string cd_file_path(unsigned channel)
{
    return "/etc/config/dali/cd" + std::to_string(channel) + ".bin";
}

std::optional<unsigned> backup_dali_format(const BackupRecord& backup)
{
    if (!backup.firmware_version)
        return std::nullopt;
    return dali_format_for_firmware(*backup.firmware_version);
}

int read_dali_file(const BackupRecord& backup, unsigned channel, ChannelConfigImage& image)
{
    if (backup.data.empty() || channel == 0)
        return 1;
    image.channel.fill(0);
    return read_member(backup, dali_file_path(channel), image.channel);
}

int read_cd_file(const BackupRecord& backup, unsigned channel, ChannelConfigImage& image)
{
    if (backup.data.empty() || channel == 0)
        return 1;
    image.inputs.fill(0);
    return read_member(backup, cd_file_path(channel), image.inputs);
}

int write_dali_file(TarStream& tar, const BackupRecord& backup, unsigned channel, ChannelConfigImage& image)
{
    const std::optional<unsigned> format = backup_dali_format(backup);
    if (!format || channel == 0)
        return 1;
    std::span<std::uint8_t> file(image.channel.data(), channel_layouts[*format].file_size);
    write_u32le(file, header_version_offset, std::max(*format, 1u));
    write_member(tar, dali_file_path(channel), file);
    return 0;
}

int write_cd_file(TarStream& tar, const BackupRecord& backup, unsigned channel, ChannelConfigImage& image)
{
    const std::optional<unsigned> format = backup_dali_format(backup);
    if (!format || channel == 0)
        return 1;
    if (*format != 3) {
        std::printf("%s\terror version %s not supported.\r\n", "backup", backup.firmware_version->c_str());
        return 1;
    }
    write_u32le(image.inputs, header_version_offset, 3);
    write_member(tar, cd_file_path(channel), image.inputs);
    return 0;
}
