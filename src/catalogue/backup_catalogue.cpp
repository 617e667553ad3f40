#include "catalogue/backup_catalogue.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// The files that come before the per-device ones, in download order.
constexpr std::array<const char*, 27> download_head = {
    "systemconfig", "bastimeout", "schedules", "schedulesastro", "rlc", "commanders",
    "dali1", "dali2", "dali3", "dali4",
    "cd1", "cd2", "cd3", "cd4",
    "daincd1", "daincd2", "daincd3", "daincd4",
    "system_ui32", "dalv", "daeu", "daeutr", "daeutc", "dacdlcm", "dacdlcr", "rlcnamenvp", "cmdrnamenvp",
};

struct HeadRow {
    const char* name;
    const char* controller_path;
};

// The same files in restore order, with their paths written out: several
// of them do not follow "/etc/config/<folder>/<name>.bin".
constexpr std::array<HeadRow, 27> restore_head = {{
    {"systemconfig", "/etc/config/system/systemconfig.bin"},
    {"bastimeout", "/etc/config/bastimeout/bastimeout.bin"},
    {"dali1", "/etc/config/dali/dali1.bin"},
    {"dali2", "/etc/config/dali/dali2.bin"},
    {"dali3", "/etc/config/dali/dali3.bin"},
    {"dali4", "/etc/config/dali/dali4.bin"},
    {"cd1", "/etc/config/dali/cd1.bin"},
    {"cd2", "/etc/config/dali/cd2.bin"},
    {"cd3", "/etc/config/dali/cd3.bin"},
    {"cd4", "/etc/config/dali/cd4.bin"},
    {"daincd1", "/etc/config/nvp/daincd1.bin"},
    {"daincd2", "/etc/config/nvp/daincd2.bin"},
    {"daincd3", "/etc/config/nvp/daincd3.bin"},
    {"daincd4", "/etc/config/nvp/daincd4.bin"},
    {"schedules", "/etc/config/schedule/schedule.bin"},
    {"schedulesastro", "/etc/config/schedule/scheduleastro.bin"},
    {"rlc", "/etc/config/rlc/rlc.bin"},
    {"commanders", "/etc/config/cmdr/cmdr.bin"},
    {"system_ui32", "/etc/config/nvp/system_ui32.bin"},
    {"dalv", "/etc/config/nvp/dalv.bin"},
    {"daeu", "/etc/config/nvp/daeu.bin"},
    {"daeutr", "/etc/config/nvp/daeutr.bin"},
    {"daeutc", "/etc/config/nvp/daeutc.bin"},
    {"dacdlcm", "/etc/config/nvp/dacdlcm.bin"},
    {"dacdlcr", "/etc/config/nvp/dacdlcr.bin"},
    {"rlcnamenvp", "/etc/config/nvp/rlcnamenvp.bin"},
    {"cmdrnamenvp", "/etc/config/nvp/cmdrnamenvp.bin"},
}};

struct TailName {
    std::string name;
    const char* folder;
};

// Per-device files, in the same order in both tables: the DT1 and DT8 data
// of devices 0 to 63 on channels 1 to 4, then the 64 views.
std::vector<TailName> make_tail()
{
    std::vector<TailName> tail;
    for (const char* type : {"dali_dt1", "dali_dt8"}) {
        for (int channel = 1; channel <= 4; ++channel) {
            for (int device = 0; device < 64; ++device) {
                tail.push_back({std::string(type) + "_" + std::to_string(channel) + "_" + std::to_string(device), "dali"});
            }
        }
    }
    for (int view = 0; view < 64; ++view) {
        tail.push_back({"views" + std::to_string(view), "views"});
    }
    return tail;
}

const std::vector<TailName>& tail_names()
{
    static const std::vector<TailName> tail = make_tail();
    return tail;
}

std::vector<std::string> make_names()
{
    std::vector<std::string> names(download_head.begin(), download_head.end());
    for (const TailName& entry : tail_names()) {
        names.push_back(entry.name);
    }
    return names;
}

std::vector<BackupRestoreRow> make_table()
{
    std::vector<BackupRestoreRow> rows;
    for (const HeadRow& head : restore_head) {
        rows.push_back({rows.size(), std::string(head.name) + ".tar", head.controller_path});
    }
    for (const TailName& entry : tail_names()) {
        rows.push_back({rows.size(), entry.name + ".tar", "/etc/config/" + std::string(entry.folder) + "/" + entry.name + ".bin"});
    }
    rows.push_back({rows.size(), {}, {}});
    return rows;
}

} // namespace

std::span<const std::string> backup_config_names()
{
    static const std::vector<std::string> names = make_names();
    return names;
}

std::span<const BackupRestoreRow> backup_restore_table()
{
    static const std::vector<BackupRestoreRow> rows = make_table();
    return rows;
}

const BackupRestoreRow* backup_restore_lookup(std::string_view entry_name)
{
    for (const BackupRestoreRow& row : backup_restore_table()) {
        if (row.tar_name.empty() || row.controller_path.empty()) {
            break; // the terminating row
        }
        if (row.tar_name == entry_name) {
            return &row;
        }
    }
    return nullptr;
}

bool backup_config_name_valid(std::string_view name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}
