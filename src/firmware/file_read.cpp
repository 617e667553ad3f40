#include "firmware/file_read.h"

#include <cstdio>
#include <memory>
#include <new>

namespace {

struct FileClose {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

constexpr std::size_t read_size = 1024;

} // namespace

FileReadResult file_read_append(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    const std::unique_ptr<std::FILE, FileClose> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return FileReadResult::done;
    std::uint8_t buffer[read_size];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        if (count == 0)
            return FileReadResult::done;
        try {
            bytes.insert(bytes.end(), buffer, buffer + count);
        } catch (const std::bad_alloc&) {
            return FileReadResult::out_of_memory;
        }
    }
}
