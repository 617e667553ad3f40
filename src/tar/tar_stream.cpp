#include "tar/tar_stream.h"

int tar_close(TarStream& tar)
{
    if (tar.close == nullptr)
        return TAR_FAILURE;
    return tar.close(tar);
}

int tar_seek(TarStream& tar, std::uint32_t position)
{
    // A writer cannot seek; moving its pos would cut the archive on the next write.
    if (tar.seek == nullptr)
        return TAR_FAILURE;
    const int result = tar.seek(tar, position);
    tar.pos = position;
    return result;
}

int tar_rewind(TarStream& tar)
{
    tar.remaining_data = 0;
    tar.last_header = 0;
    return tar_seek(tar, 0);
}
