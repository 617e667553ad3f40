#include "firmware/file_read.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <new>

namespace {

constexpr std::size_t read_size = 1024;

struct FdClose {
    int fd;
    ~FdClose()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

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

// Reads up to length bytes to at; fewer only at the end of the file or on
// an error.
std::size_t read_fully(int fd, std::uint8_t* at, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t got = ::read(fd, at + done, length - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

} // namespace

FileReadResult file_read_append(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t limit)
{
    // Without O_NONBLOCK, opening a pipe would wait for a writer before
    // its kind could be checked.
    const FdClose file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0)
        return FileReadResult::done;
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode))
        return FileReadResult::not_regular;
    if (status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > limit)
        return FileReadResult::too_large;
    const std::size_t start = bytes.size();
    try {
        // Images are large: the announced size is read in place, in one go,
        // so that the bytes are neither copied twice nor moved while growing.
        const auto expected = static_cast<std::size_t>(status.st_size);
        bytes.reserve(start + expected);
        advise_huge_pages(bytes.data() + start, expected);
        bytes.resize(start + expected);
        const std::size_t got = read_fully(file.fd, bytes.data() + start, expected);
        bytes.resize(start + got);
        if (got < expected)
            return FileReadResult::done;
        // Whatever the file holds beyond its announced size, within the limit.
        std::uint8_t buffer[read_size];
        for (;;) {
            const std::size_t count = read_fully(file.fd, buffer, sizeof buffer);
            if (count == 0)
                return FileReadResult::done;
            if (bytes.size() - start + count > limit) {
                bytes.resize(start);
                return FileReadResult::too_large;
            }
            bytes.insert(bytes.end(), buffer, buffer + count);
        }
    } catch (const std::bad_alloc&) {
        return FileReadResult::out_of_memory;
    }
}
