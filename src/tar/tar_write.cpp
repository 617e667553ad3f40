#include "tar/tar_write.h"

#include "tar/tar_block.h"
#include "tar/tar_io.h"

namespace {

constexpr std::uint8_t zero_byte = 0;

} // namespace

int tar_write_header(TarStream& tar, const TarHeader& header)
{
    if (tar.remaining_data != 0)
        return TAR_FAILURE;
    TarBlock block;
    const int result = tar_block_encode(header, block);
    if (result != TAR_SUCCESS)
        return result;
    tar.remaining_data = header.size;
    return tar_write_bytes(tar, block.data(), tar_block_size);
}

int tar_write_file_header(TarStream& tar, std::string_view name, std::uint32_t size)
{
    return tar_write_header(tar, TarHeader{0664, 0, size, 0, '0', std::string(name), {}});
}

int tar_write_dir_header(TarStream& tar, std::string_view name)
{
    return tar_write_header(tar, TarHeader{0775, 0, 0, 0, '5', std::string(name), {}});
}

int tar_write_data(TarStream& tar, const void* data, std::uint32_t n)
{
    if (n > tar.remaining_data)
        return TAR_FAILURE;
    int result = tar_write_bytes(tar, data, n);
    if (result != TAR_SUCCESS)
        return result;
    tar.remaining_data -= n;
    if (tar.remaining_data != 0)
        return TAR_SUCCESS;
    // One byte per write, so a failure leaves pos just past the last byte written.
    while (tar.pos % tar_block_size != 0)
        if ((result = tar_write_bytes(tar, &zero_byte, 1)) != TAR_SUCCESS)
            return result;
    return TAR_SUCCESS;
}

int tar_finalize(TarStream& tar)
{
    if (tar.remaining_data != 0)
        return TAR_FAILURE;
    int result = TAR_SUCCESS;
    for (std::uint32_t i = 0; i < 2 * tar_block_size && result == TAR_SUCCESS; ++i)
        result = tar_write_bytes(tar, &zero_byte, 1);
    return result;
}
