#pragma once
// The controller's configuration files: which ones a backup fetches, in which
// order, and where each archived one goes back to on restore.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// One archive entry and the controller file it restores. The row's index
// selects how its content is converted: rows 2 to 5 are the channel files of
// channels 1 to 4, rows 6 to 9 their input files; all others are copied.
struct BackupRestoreRow {
    std::uint64_t index = 0;
    std::string tar_name;        // "<name>.tar"; empty in the terminating row
    std::string controller_path; // also the member name inside the controller's TAR; empty in the terminating row
};

// Whether name may be asked for: it goes into a URL and into a file name,
// so nothing but letters, digits and underscores, and at least one.
bool backup_config_name_valid(std::string_view name);

// The configuration names in the order a backup fetches them.
std::span<const std::string> backup_config_names();

// The 603 rows in restore order, then a terminating row with index 603 and
// no texts.
std::span<const BackupRestoreRow> backup_restore_table();

// The row whose tar_name is exactly entry_name (bytes compared as they are),
// or null for an entry that is not a configuration file.
const BackupRestoreRow* backup_restore_lookup(std::string_view entry_name);
