// The TAR reader over a received configuration file, and the check that
// decides whether a backup keeps it.
#include "backup/backup.h"
#include "tar/tar.h"

#include "quiet_stdout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return quiet_stdout();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    BackupRecord record;
    record.data.assign(data, data + size);
    record.size = size;
    backup_check(record);

    // Every member's data, as a restore reads them.
    TarStream tar;
    if (tar_open_memory_reader(tar, record.data) != TAR_SUCCESS)
        return 0;
    std::vector<char> content;
    for (int members = 0; members < 1000; ++members) {
        TarHeader header;
        if (tar_read_header(tar, header) != TAR_SUCCESS)
            break;
        if (header.size <= size) {
            content.resize(header.size);
            tar_read_data(tar, content.data(), static_cast<std::uint32_t>(header.size));
        }
        if (tar_next(tar) != TAR_SUCCESS)
            break;
    }
    return 0;
}
