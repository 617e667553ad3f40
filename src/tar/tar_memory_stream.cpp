// The memory kinds: a reader over the caller's bytes and a writer that grows
// a buffer of its own.

#include "tar/tar_stream.h"

#include <cstring>
#include <limits>

namespace {

int memory_read(TarStream& tar, void* buffer, std::uint32_t n)
{
    if (n == 0)
        return TAR_SUCCESS;
    if (buffer == nullptr)
        return TAR_FAILURE;
    const std::size_t held = tar.memory.size();
    if (tar.pos > held || n > held - tar.pos)
        return TAR_READ_FAIL;
    std::memcpy(buffer, tar.memory.data() + tar.pos, n);
    return TAR_SUCCESS;
}

// Any position is accepted; a read from past the end fails instead.
int memory_seek(TarStream&, std::uint32_t)
{
    return TAR_SUCCESS;
}

int memory_close(TarStream&)
{
    return TAR_SUCCESS;
}

int memory_write(TarStream& tar, const void* data, std::uint32_t n)
{
    if (n == 0)
        return TAR_SUCCESS;
    if (data == nullptr)
        return TAR_FAILURE;
    tar.buffer.resize(std::size_t{tar.pos} + n);
    std::memcpy(tar.buffer.data() + tar.pos, data, n);
    return TAR_SUCCESS;
}

} // namespace

int tar_open_memory_reader(TarStream& tar, std::span<const std::uint8_t> bytes)
{
    tar = TarStream{};
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        return TAR_FAILURE;
    tar.read = memory_read;
    tar.seek = memory_seek;
    tar.close = memory_close;
    tar.memory = bytes;
    return TAR_SUCCESS;
}

int tar_open_memory_writer(TarStream& tar)
{
    tar = TarStream{};
    tar.write = memory_write;
    return TAR_SUCCESS;
}
