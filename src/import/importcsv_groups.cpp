#include "import/import.h"

#include "channel/channel_file.h"
#include "import/csv_cells.h"

namespace {

struct PendingGroup {
    std::uint32_t group_index = 0;
    std::string name;
};

class GroupsSheetImport : public CsvSheetImport {
public:
    using CsvSheetImport::CsvSheetImport;

private:
    // Column 0 must be present but says nothing; no cell is JSON here.
    void take_cell(std::uint32_t column, const char* text) override
    {
        if (column == 1)
            row_.group_index = cell_number(text);
        else if (column == 2)
            row_.name = text;
    }

    void apply_row() override
    {
        const std::optional<unsigned> format = backup_dali_format(backup);
        if (!format || row_.group_index >= channel_group_count)
            return;
        std::uint8_t* record = image.channel.data() + group_record_offset(channel_layouts[*format], row_.group_index);
        record[group_import_marker] = 255;
        store_text_field(record + group_name, group_name_size, row_.name);
    }

    void clear_row() override { row_ = PendingGroup{}; }

    PendingGroup row_;
};

} // namespace

int importcsv_groups(const BackupRecord& backup, const std::string& path, ChannelConfigImage& image)
{
    GroupsSheetImport import(groups_csv_version_marker, 3, backup, image);
    return csv_import_file(path, import);
}
