#include "tar/tar_read.h"

#include "tar/tar_block.h"
#include "tar/tar_io.h"

#include <limits>

int tar_read_header(TarStream& tar, TarHeader& header)
{
    tar.last_header = tar.pos;
    TarBlock block{};
    int result = tar_read_bytes(tar, block.data(), tar_block_size);
    if (result != TAR_SUCCESS)
        return result;
    result = tar_seek(tar, tar.last_header);
    if (result != TAR_SUCCESS)
        return result;
    return tar_block_decode(block, header);
}

int tar_next(TarStream& tar)
{
    TarHeader header;
    const int result = tar_read_header(tar, header);
    if (result != TAR_SUCCESS)
        return result;
    // In 64 bits: a forged size must not wrap round to this same header.
    const std::uint64_t padded = (std::uint64_t{header.size} + tar_block_size - 1) / tar_block_size * tar_block_size;
    const std::uint64_t next = std::uint64_t{tar.pos} + tar_block_size + padded;
    if (next > std::numeric_limits<std::uint32_t>::max())
        return TAR_SEEK_FAIL;
    return tar_seek(tar, static_cast<std::uint32_t>(next));
}

int tar_find(TarStream& tar, std::string_view name, TarHeader* header)
{
    int result = tar_rewind(tar);
    if (result != TAR_SUCCESS)
        return result;
    TarHeader current;
    while ((result = tar_read_header(tar, current)) == TAR_SUCCESS) {
        if (current.name == name) {
            if (header != nullptr)
                *header = std::move(current);
            return TAR_SUCCESS;
        }
        // A member that cannot be stepped over ends the search rather than
        // being read again and again.
        if ((result = tar_next(tar)) != TAR_SUCCESS)
            break;
    }
    return result == TAR_NULL_RECORD ? TAR_NOT_FOUND : result;
}

int tar_read_data(TarStream& tar, void* buffer, std::uint32_t n)
{
    int result = TAR_SUCCESS;
    if (tar.remaining_data == 0) {
        TarHeader header;
        if ((result = tar_read_header(tar, header)) != TAR_SUCCESS)
            return result;
        if (n > header.size)
            return TAR_FAILURE;
        if ((result = tar_seek(tar, tar.pos + tar_block_size)) != TAR_SUCCESS)
            return result;
        tar.remaining_data = header.size;
    } else if (n > tar.remaining_data) {
        return TAR_FAILURE;
    }
    if ((result = tar_read_bytes(tar, buffer, n)) != TAR_SUCCESS)
        return result;
    tar.remaining_data -= n;
    if (tar.remaining_data == 0)
        return tar_seek(tar, tar.last_header);
    return TAR_SUCCESS;
}
