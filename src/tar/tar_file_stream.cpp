// The file kind: a stdio file opened by tar_open_file.

#include "tar/tar_read.h"
#include "tar/tar_stream.h"

namespace {

int file_read(TarStream& tar, void* buffer, std::uint32_t n)
{
    if (!tar.file || std::fread(buffer, 1, n, tar.file.get()) != n)
        return TAR_READ_FAIL;
    return TAR_SUCCESS;
}

int file_write(TarStream& tar, const void* data, std::uint32_t n)
{
    if (!tar.file || std::fwrite(data, 1, n, tar.file.get()) != n)
        return TAR_WRITE_FAIL;
    return TAR_SUCCESS;
}

int file_seek(TarStream& tar, std::uint32_t position)
{
    if (!tar.file || std::fseek(tar.file.get(), static_cast<long>(position), SEEK_SET) != 0)
        return TAR_SEEK_FAIL;
    return TAR_SUCCESS;
}

int file_close(TarStream& tar)
{
    if (!tar.file)
        return TAR_FAILURE;
    // Buffered bytes reach the disk only here; losing them loses the archive's end.
    return std::fclose(tar.file.release()) == 0 ? TAR_SUCCESS : TAR_WRITE_FAIL;
}

std::string effective_mode(std::string_view mode)
{
    if (mode.find('r') != std::string_view::npos)
        return "rb";
    if (mode.find('w') != std::string_view::npos)
        return "wb";
    if (mode.find('a') != std::string_view::npos)
        return "ab";
    return std::string(mode);
}

} // namespace

int tar_open_file(TarStream& tar, const std::string& path, std::string_view mode)
{
    tar = TarStream{};
    const std::string open_mode = effective_mode(mode);
    tar.file.reset(std::fopen(path.c_str(), open_mode.c_str()));
    if (!tar.file)
        return TAR_OPEN_FAIL;
    tar.read = file_read;
    tar.write = file_write;
    tar.seek = file_seek;
    tar.close = file_close;
    if (open_mode.starts_with('r')) {
        TarHeader first;
        const int result = tar_read_header(tar, first);
        if (result != TAR_SUCCESS) {
            tar = TarStream{};
            return result;
        }
    }
    return TAR_SUCCESS;
}
