#include "firmware/file_read.h"

#include "platform/files.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>

namespace {

constexpr std::size_t read_size = 1024;

// What the file system says the file holds; 0 when it cannot tell.
std::size_t announced_size(std::FILE* file)
{
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return 0;
    return static_cast<std::size_t>(status.st_size);
}

// Filling a fresh multi-megabyte buffer otherwise costs a page fault per
// small page, which can outweigh reading and hashing it; huge pages, where
// the system offers them, take 512 times fewer. Only whole huge pages inside
// the range are advised; the advice may be ignored.
void advise_huge_pages(std::uint8_t* begin, std::size_t length)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t huge_page = std::uintptr_t{2} << 20;
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + huge_page - 1) & ~(huge_page - 1);
    const std::uintptr_t last = (reinterpret_cast<std::uintptr_t>(begin) + length) & ~(huge_page - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}

} // namespace

FileReadResult file_read_append(const std::string& path, std::vector<std::uint8_t>& bytes)
{
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return FileReadResult::done;
    try {
        // Images are large: the announced size is read in place, in one go,
        // so that the bytes are neither copied twice nor moved while growing.
        const std::size_t start = bytes.size();
        const std::size_t expected = announced_size(file.get());
        bytes.reserve(start + expected);
        advise_huge_pages(bytes.data() + start, expected);
        bytes.resize(start + expected);
        const std::size_t got = std::fread(bytes.data() + start, 1, expected, file.get());
        bytes.resize(start + got);
        if (got < expected)
            return FileReadResult::done;
        // Whatever the file holds beyond its announced size.
        std::uint8_t buffer[read_size];
        for (;;) {
            const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
            if (count == 0)
                return FileReadResult::done;
            bytes.insert(bytes.end(), buffer, buffer + count);
        }
    } catch (const std::bad_alloc&) {
        return FileReadResult::out_of_memory;
    }
}
