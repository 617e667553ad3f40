#include "platform/files.h"

bool file_write_and_close(FileHandle file, std::span<const std::uint8_t> bytes)
{
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    return std::fclose(file.release()) == 0 && written;
}
