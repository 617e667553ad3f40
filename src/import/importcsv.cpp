#include "import/import.h"

#include "channel/channel_file.h"
#include "import/csv_cells.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace {

struct PendingDevice {
    std::uint32_t header_value = 0;
    std::uint32_t device_index = 0;
    std::uint8_t short_address = 0;
    std::string name;
    std::uint16_t groups = 0;
    std::uint8_t power_on_level = 0;
    std::uint8_t system_failure_level = 0;
    std::uint8_t min_level = 0;
    std::uint8_t max_level = 0;
    std::uint8_t fade_rate = 0;
    std::uint8_t fade_time = 0;
    std::array<std::uint8_t, 16> scenes{};
    bool power_on_false = false;
};

class ChannelSheetImport : public CsvSheetImport {
public:
    using CsvSheetImport::CsvSheetImport;

private:
    void take_cell(std::uint32_t column, const char* text) override
    {
        PendingDevice& row = row_;
        switch (column) {
        case 0: row.header_value = cell_number(text); break;
        case 1: row.device_index = cell_number(text); break;
        case 2: row.short_address = cell_short_address(text); break;
        case 3: row.name = text; break;
        case 4: row.groups = cell_groups(text); break;
        case 5:
            if (cell_is_null(text)) {
                row.power_on_level = 255;
            } else if (cell_is_false(text)) {
                row.power_on_level = 100;
                row.power_on_false = true;
            } else {
                row.power_on_level = static_cast<std::uint8_t>(cell_number(text));
            }
            break;
        case 6:
            row.system_failure_level = cell_is_null(text) ? 255 : static_cast<std::uint8_t>(cell_number(text));
            break;
        case 7: row.min_level = static_cast<std::uint8_t>(cell_number(text)); break;
        case 8: row.max_level = static_cast<std::uint8_t>(cell_number(text)); break;
        case 9: row.fade_rate = std::clamp<std::uint8_t>(static_cast<std::uint8_t>(cell_number(text)), 1, 15); break;
        case 10: row.fade_time = std::min<std::uint8_t>(static_cast<std::uint8_t>(cell_number(text)), 15); break;
        case 11: row.scenes = cell_scenes(text); break;
        }
    }

    void apply_row() override
    {
        const std::optional<unsigned> format = backup_dali_format(backup);
        if (!format || row_.device_index >= channel_device_count)
            return;
        const ChannelLayout& layout = channel_layouts[*format];
        std::span<std::uint8_t> file(image.channel);
        const std::size_t at = device_record_offset(layout, row_.device_index);
        std::uint8_t* record = file.data() + at;

        std::uint32_t flags = read_u32le(file, at + device_flags);
        flags |= row_.power_on_false ? flag_power_on_false : flag_imported;
        record[device_import_marker] = 255;
        if (row_.short_address == 255) {
            flags &= ~flag_addressed;
            if (layout.address_table != 0)
                std::memset(file.data() + layout.address_table + row_.device_index * address_table_entry_size, 0,
                            address_table_entry_size);
            else
                record[device_short_address] = layout.unaddressed;
        } else if (row_.short_address < 64) {
            flags |= flag_addressed;
        }
        write_u32le(file, at + device_flags, flags);
        if (*format == 3) {
            write_u32le(file, header_value_offset, row_.header_value);
            record[layout.device_type] = 0;
            record[layout.device_type_companion] = 0;
        }
        store_text_field(record + layout.name, device_name_size, row_.name);
        if (row_.short_address < 64)
            record[device_short_address] = static_cast<std::uint8_t>(2 * row_.short_address + 1);
        write_u16le(file, at + device_groups, row_.groups);
        record[device_power_on_level] = row_.power_on_level;
        record[device_system_failure_level] = row_.system_failure_level;
        record[device_min_level] = row_.min_level;
        record[device_max_level] = row_.max_level;
        record[device_fade_rate] = row_.fade_rate;
        record[device_fade_time] = row_.fade_time;
        std::copy(row_.scenes.begin(), row_.scenes.end(), record + device_scenes);
    }

    void clear_row() override { row_ = PendingDevice{}; }

    PendingDevice row_;
};

} // namespace

int importcsv(const BackupRecord& backup, const std::string& path, ChannelConfigImage& image)
{
    ChannelSheetImport import(channel_csv_version_marker, 12, backup, image);
    return csv_import_file(path, import);
}
