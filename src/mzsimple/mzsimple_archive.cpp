#include "mzsimple/mzsimple.h"
#include "mzsimple/zip_archive.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace {

constexpr int default_level = 6;
constexpr int best_level = 10;
// The level sits in the low four bits; callers may set flag bits above it,
// which carry nothing for this layer.
constexpr int level_bits = 0xF;
// The strongest level libzip's deflate takes. Deflate stays the method for
// every level so that common tools read the archive.
constexpr std::uint32_t strongest_deflate = 9;
constexpr std::uint64_t end_record_size = 22;

bool open_zip(ZipArchive& archive, int flags)
{
    int error = 0;
    archive.handle.reset(zip_open(archive.path.c_str(), flags, &error));
    return archive.handle != nullptr;
}

bool load_names(ZipArchive& archive)
{
    const zip_int64_t count = zip_get_num_entries(archive.handle.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive.handle.get(), static_cast<zip_uint64_t>(i), 0);
        if (name == nullptr) {
            return false;
        }
        archive.names.push_back(zip_entry_name(name));
    }
    return true;
}

bool open_existing(ZipArchive& archive, char mode)
{
    if (mode == 'r') {
        return open_zip(archive, ZIP_RDONLY) && load_names(archive);
    }
    struct stat info {};
    if (::stat(archive.path.c_str(), &info) != 0) {
        return false;
    }
    archive.writing = true;
    archive.size_bound = static_cast<std::uint64_t>(info.st_size);
    return open_zip(archive, 0);
}

// The file is created now so that a path that cannot be written is refused
// at once, not only when the archive is closed.
bool open_new(ZipArchive& archive)
{
    const int fd = ::open(archive.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0 || ::close(fd) != 0) {
        return false;
    }
    archive.writing = true;
    archive.truncated = true;
    archive.size_bound = end_record_size;
    return open_zip(archive, ZIP_CREATE | ZIP_TRUNCATE);
}

// libzip removes an archive that ends without entries; a file opened 'w'
// still has to be a valid, empty ZIP file.
bool write_empty_archive(const std::string& path)
{
    static constexpr std::array<char, end_record_size> end_record = {'P', 'K', 5, 6};
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, end_record.data(), end_record.size()) == static_cast<ssize_t>(end_record.size());
    return ::close(fd) == 0 && written;
}

} // namespace

void ZipDiscard::operator()(zip* handle) const
{
    zip_discard(handle);
}

std::string zip_entry_name(std::string_view name)
{
    std::string result(name);
    std::replace(result.begin(), result.end(), '\\', '/');
    return result;
}

std::unique_ptr<ZipArchive> mzsimple_open(const std::string& path, int level, char mode)
{
    if (level < 0) {
        level = default_level;
    }
    level &= level_bits;
    if (path.empty() || level > best_level) {
        return nullptr;
    }
    auto archive = std::make_unique<ZipArchive>();
    archive->path = path;
    archive->method = level == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    archive->method_level = std::min(static_cast<std::uint32_t>(level), strongest_deflate);

    bool opened = false;
    if (mode == 'r' || mode == 'a') {
        opened = open_existing(*archive, mode);
    } else if (mode == 'w') {
        opened = open_new(*archive);
    }
    return opened ? std::move(archive) : nullptr;
}

int mzsimple_close(std::unique_ptr<ZipArchive> archive)
{
    if (!archive || !archive->writing) {
        return 0;
    }
    // An entry that cannot be finished is reported, but the others are
    // still written.
    const bool finished = !archive->pending || write_entry_close(*archive) == 0;
    const bool empty = zip_get_num_entries(archive->handle.get(), 0) == 0;
    if (zip_close(archive->handle.get()) != 0) {
        return -1; // the archive still owns the handle and discards it
    }
    static_cast<void>(archive->handle.release()); // zip_close has freed it
    if (archive->truncated && empty && !write_empty_archive(archive->path)) {
        return -1;
    }
    return finished ? 0 : -1;
}

std::int64_t mzsimple_entries_total(const ZipArchive& archive)
{
    return zip_get_num_entries(archive.handle.get(), 0);
}

int mzsimple_entry_open(ZipArchive& archive, std::string_view name)
{
    if (name.empty() || name.find('\0') != std::string_view::npos) {
        return -1;
    }
    if (archive.writing) {
        return write_entry_open(archive, zip_entry_name(name));
    }
    return read_entry_open(archive, zip_entry_name(name));
}

int mzsimple_entry_close(ZipArchive& archive)
{
    if (archive.writing) {
        return write_entry_close(archive);
    }
    archive.current.reset();
    return 0;
}

std::optional<std::string> mzsimple_entry_name(const ZipArchive& archive)
{
    if (archive.writing) {
        return archive.pending ? std::optional(archive.pending->name) : std::nullopt;
    }
    return archive.current ? std::optional(archive.names[*archive.current]) : std::nullopt;
}
