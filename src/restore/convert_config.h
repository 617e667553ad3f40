#pragma once
// Brings a configuration file from a backup to the format that the target
// controller's firmware expects. Channel files (restore rows 2 to 5) and
// inputs files (rows 6 to 9) are converted forward; every other file is
// copied as it is.

#include "catalogue/backup_catalogue.h"
#include "status/status_record.h"

#include <cstdint>
#include <span>
#include <vector>

inline constexpr int convert_done = 0;
inline constexpr int convert_missing_argument = 1; // no row, no status record or no data
inline constexpr int convert_refused = 2;          // the file cannot be made for this controller

// converted receives the file to send when the result is convert_done.
// Refused: a stored format that no table knows, a length that does not fit
// the stored format, a row index above 602, a conversion to an older format
// (printed as "CONFIGURATION ... IS NOT SUPPORTED!"), and a file that needs a
// target format from a status record without a firmware version.
int convert_config(const BackupRestoreRow* row, const StatusRecord* status, std::span<const std::uint8_t> data,
                   std::vector<std::uint8_t>& converted);
