// Configuration conversion on restore, for every class of file and every
// target firmware. The first byte picks the restore row, the second the
// target firmware and whether the file is cut or padded to the length its
// stored format has, so that the record moves are reached as well as the
// refusals.
#include "catalogue/backup_catalogue.h"
#include "channel/channel_layout.h"
#include "restore/convert_config.h"
#include "status/status_record.h"

#include "quiet_stdout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr const char* firmware_versions[] = {"1.0.0", "1.3.0", "1.3.1", "1.5.0", "2.2.4", "1.10.0", ""};

// The length a file of the stored version in its header has, per class.
std::size_t length_for(std::uint64_t index, std::uint32_t version)
{
    if (index >= 2 && index <= 5 && version <= 3)
        return channel_layouts[version].file_size;
    if (index >= 6 && index <= 9)
        return version == 2 ? inputs_file_size_v2 : inputs_file_size;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return quiet_stdout();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const auto table = backup_restore_table();
    const BackupRestoreRow& row = table[data[0] % 12 == 11 ? table.size() - 1 : data[0] % 12];
    StatusRecord status;
    const char* firmware = firmware_versions[(data[1] & 0x7F) % std::size(firmware_versions)];
    if (*firmware != '\0')
        status.firmware_version = firmware;

    std::vector<std::uint8_t> file(data + 2, data + size);
    if ((data[1] & 0x80) != 0 && file.size() >= channel_header_size) {
        const std::size_t length = length_for(row.index, read_u32le(file, header_version_offset));
        if (length != 0)
            file.resize(length);
    }
    std::vector<std::uint8_t> converted;
    convert_config(&row, &status, file, converted);
    return 0;
}
