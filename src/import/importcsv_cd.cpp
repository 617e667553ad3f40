#include "import/import.h"

#include "channel/channel_file.h"
#include "import/csv_cells.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>

namespace {

using InstanceBytes = std::array<std::uint8_t, 32>;

// Columns 6 to 19, in column order.
enum ArrayColumn : std::size_t {
    instance_types,
    instance_params,
    device_param,
    type1_first,
    type3_first = type1_first + 6,
    type4_first = type3_first + 3,
    array_column_count = type4_first + 2,
};
constexpr std::uint32_t first_array_column = 6;

struct PendingInput {
    std::uint32_t header_value = 0;
    std::uint32_t input_index = 0;
    std::uint8_t short_address = 0;
    std::string name;
    std::uint32_t flags = 0;
    std::uint8_t instance_count = 0;
    std::array<InstanceBytes, array_column_count> arrays{};
};

// Which settings columns fill which bytes of an instance's table entry, by
// instance type (push button, occupancy sensor, light sensor).
struct TypeSettings {
    std::uint8_t type;
    std::size_t first_column;
    std::size_t first_byte;
    std::size_t count;
};
constexpr TypeSettings type_settings[] = {
    {1, type1_first, 0, 6},
    {3, type3_first, 1, 3},
    {4, type4_first, 1, 2},
};

class InputsSheetImport : public CsvSheetImport {
public:
    using CsvSheetImport::CsvSheetImport;

private:
    void take_cell(std::uint32_t column, const char* text) override
    {
        switch (column) {
        case 0: row_.header_value = cell_number(text); break;
        case 1: row_.input_index = cell_number(text); break;
        case 2: row_.short_address = cell_short_address(text); break;
        case 3: row_.name = text; break;
        case 4: row_.flags = cell_number(text); break;
        case 5:
            row_.instance_count = std::min<std::uint8_t>(static_cast<std::uint8_t>(cell_number(text)), 32);
            break;
        default:
            if (*text != '\0')
                cell_byte_array(text, row_.arrays[column - first_array_column]);
        }
    }

    void apply_row() override
    {
        if (backup_dali_format(backup) != 3u) {
            std::printf("%s\terror version %s not supported.\r\n", "importcsv_cd",
                        backup.firmware_version ? backup.firmware_version->c_str() : "(null)");
            stopped = true;
            return;
        }
        if (row_.input_index >= input_device_count)
            return;
        std::span<std::uint8_t> file(image.inputs);
        const std::size_t at = input_record_offset(row_.input_index);
        std::uint8_t* record = file.data() + at;

        std::uint32_t flags = row_.flags | flag_imported;
        record[input_import_marker] = 255;
        write_u32le(file, header_value_offset, row_.header_value);
        if (row_.short_address == 255) {
            flags &= ~flag_addressed;
            record[input_short_address] = 255;
        } else if (row_.short_address < 64) {
            flags |= flag_addressed;
        }
        write_u32le(file, at + input_flags, flags);
        store_text_field(record + input_name, input_name_size, row_.name);
        if (row_.short_address < 64)
            record[input_short_address] = static_cast<std::uint8_t>(2 * row_.short_address + 1);
        record[input_instance_count] = row_.instance_count;

        const InstanceBytes& types = row_.arrays[instance_types];
        for (std::size_t k = 0; k < input_instance_max; ++k) {
            record[input_instances + 2 * k] = types[k];
            record[input_instances + 2 * k + 1] = row_.arrays[instance_params][k];
        }
        std::uint8_t* table = file.data() + instance_table_offset(row_.input_index);
        table[instance_table_device_param] = row_.arrays[device_param][0];
        for (std::size_t k = 0; k < input_instance_max; ++k) {
            std::uint8_t* entry = table + instance_table_settings + instance_settings_size * k;
            for (const TypeSettings& settings : type_settings) {
                if (types[k] != settings.type)
                    continue;
                for (std::size_t b = 0; b < settings.count; ++b)
                    entry[settings.first_byte + b] = row_.arrays[settings.first_column + b][k];
            }
        }
    }

    void clear_row() override { row_ = PendingInput{}; }

    PendingInput row_;
};

} // namespace

int importcsv_cd(const BackupRecord& backup, const std::string& path, ChannelConfigImage& image)
{
    InputsSheetImport import(inputs_csv_version_marker, 20, backup, image);
    return csv_import_file(path, import);
}
