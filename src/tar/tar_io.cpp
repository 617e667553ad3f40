#include "tar/tar_io.h"

#include <limits>

namespace {

bool passes_limit(const TarStream& tar, std::uint32_t n)
{
    return n > std::numeric_limits<std::uint32_t>::max() - tar.pos;
}

} // namespace

int tar_read_bytes(TarStream& tar, void* buffer, std::uint32_t n)
{
    if (tar.read == nullptr)
        return TAR_FAILURE;
    if (passes_limit(tar, n))
        return TAR_READ_FAIL;
    const int result = tar.read(tar, buffer, n);
    tar.pos += n;
    return result;
}

int tar_write_bytes(TarStream& tar, const void* data, std::uint32_t n)
{
    if (tar.write == nullptr)
        return TAR_FAILURE;
    if (passes_limit(tar, n))
        return TAR_WRITE_FAIL;
    const int result = tar.write(tar, data, n);
    tar.pos += n;
    return result;
}
