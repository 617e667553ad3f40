#pragma once
// The channel file and inputs file of one DALI channel on their way between
// a downloaded configuration TAR, the in-memory image and an upload TAR.

#include "backup/backup.h"
#include "channel/channel_layout.h"
#include "tar/tar_stream.h"

#include <cstdint>
#include <optional>
#include <string>

// Bits of a device record's flags (channel and inputs files alike).
inline constexpr std::uint32_t flag_addressed = 1u << 0;      // the device has a short address
inline constexpr std::uint32_t flag_imported = 1u << 1;       // configured by an import
inline constexpr std::uint32_t flag_power_on_false = 1u << 3; // imported with power-on level "false"

// "/etc/config/dali/dali%u.bin" and "/etc/config/dali/cd%u.bin".
std::string dali_file_path(unsigned channel);
std::string cd_file_path(unsigned channel);

// Fills image.channel (cleared first) from the channel file in backup's TAR,
// cut to the largest format's size. 0 on success; 1 when the backup holds no
// TAR, channel is 0, or the member is missing, empty or unreadable (reported
// on standard output and in red).
int read_dali_file(const BackupRecord& backup, unsigned channel, ChannelConfigImage& image);

// The same for the inputs file (image.inputs) of channel.
int read_cd_file(const BackupRecord& backup, unsigned channel, ChannelConfigImage& image);

// Appends the channel file of channel, in the backup controller's format, to
// tar: version field set (format 0 is written as 1), checksum over the file;
// size and revision fields stay as read. 0 once the member path is formed,
// also when writing failed (reported); 1 when the firmware version is
// missing or channel is 0.
int write_dali_file(TarStream& tar, const BackupRecord& backup, unsigned channel, ChannelConfigImage& image);

// The same for the inputs file (format 3, version 3). 1 also for a
// controller below inputs format 3, with "error version ... not supported".
int write_cd_file(TarStream& tar, const BackupRecord& backup, unsigned channel, ChannelConfigImage& image);

// Channel file format of the controller that sent backup; none without a
// firmware version.
std::optional<unsigned> backup_dali_format(const BackupRecord& backup);
