#include "restore/restore_tar.h"

#include "tar/tar.h"

#include <limits>

std::vector<std::uint8_t> restore_tar(std::string_view controller_path, std::span<const std::uint8_t> file,
                                      std::uint32_t mtime)
{
    if (file.size() > std::numeric_limits<std::uint32_t>::max())
        return {};
    TarStream tar;
    tar_open_memory_writer(tar);
    TarHeader header;
    header.mode = 0664;
    header.owner = 0;
    header.size = static_cast<std::uint32_t>(file.size());
    header.mtime = mtime;
    header.type = '0';
    header.name = controller_path;
    if (tar_write_header(tar, header) != TAR_SUCCESS)
        return {};
    if (!file.empty() && tar_write_data(tar, file.data(), header.size) != TAR_SUCCESS)
        return {};
    if (tar_finalize(tar) != TAR_SUCCESS)
        return {};
    return std::move(tar.buffer);
}
