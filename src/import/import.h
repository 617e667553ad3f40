#pragma once
// The three sheet importers. Each reads the CSV file at path and writes its
// rows into image in the format of the controller that sent backup; rows
// need a firmware version to be applied. Results: see csv_import.h.

#include "backup/backup.h"
#include "channel/channel_layout.h"
#include "import/csv_import.h"

#include <string>

// Control gear: device records of the channel file (12 fields a row).
int importcsv(const BackupRecord& backup, const std::string& path, ChannelConfigImage& image);

// Input devices: the inputs file, format 3 only (20 fields a row). Below
// format 3 the first data row prints "error version ... not supported" and
// the import stops with importcsv_not_supported.
int importcsv_cd(const BackupRecord& backup, const std::string& path, ChannelConfigImage& image);

// Group names: group records of the channel file (3 fields a row).
int importcsv_groups(const BackupRecord& backup, const std::string& path, ChannelConfigImage& image);

inline constexpr const char* channel_csv_version_marker = "#dali-channel-csv-version: ";
inline constexpr const char* inputs_csv_version_marker = "#dali-channel-inputs-csv-version: ";
inline constexpr const char* groups_csv_version_marker = "#dali-channel-groups-csv-version: ";
