#include "mzsimple/mzsimple.h"
#include "mzsimple/zip_archive.h"

#include <zip.h>

#include <algorithm>

namespace {

constexpr int default_level = 6;
constexpr int best_level = 10;
// The level sits in the low four bits; callers may set flag bits above it,
// which carry nothing for this layer.
constexpr int level_bits = 0xF;
// The strongest level deflate takes. Deflate stays the method for every
// level so that common tools read the archive.
constexpr int strongest_deflate = 9;
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

// The new archive goes to a temporary file from the start, so that a folder
// that cannot be written is refused at once and an earlier file of that
// name stays until the new archive is complete.
bool open_for_writing(ZipArchive& archive, int* system_error)
{
    if (const int error = atomic_file_begin(archive.file, archive.path)) {
        if (system_error != nullptr) {
            *system_error = error;
        }
        return false;
    }
    archive.writing = true;
    archive.size_bound = end_record_size;
    return zip_writer_start(archive);
}

// Appending writes a new archive that starts with the old one's entries.
bool open_for_appending(ZipArchive& archive, int* system_error)
{
    if (!open_zip(archive, ZIP_RDONLY)) {
        return false;
    }
    const std::unique_ptr<zip, ZipDiscard> old = std::move(archive.handle);
    return open_for_writing(archive, system_error) && zip_writer_copy_entries(archive, old.get());
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

std::unique_ptr<ZipArchive> mzsimple_open(const std::string& path, int level, char mode, int* system_error)
{
    if (system_error != nullptr) {
        *system_error = 0;
    }
    if (level < 0) {
        level = default_level;
    }
    level &= level_bits;
    if (path.empty() || level > best_level) {
        return nullptr;
    }
    auto archive = std::make_unique<ZipArchive>();
    archive->path = path;
    archive->level = std::min(level, strongest_deflate);

    bool opened = false;
    if (mode == 'r') {
        opened = open_zip(*archive, ZIP_RDONLY) && load_names(*archive);
    } else if (mode == 'a') {
        opened = open_for_appending(*archive, system_error);
    } else if (mode == 'w') {
        opened = open_for_writing(*archive, system_error);
    }
    return opened ? std::move(archive) : nullptr;
}

int mzsimple_close(std::unique_ptr<ZipArchive> archive, int* system_error)
{
    if (system_error != nullptr) {
        *system_error = 0;
    }
    if (!archive || !archive->writing) {
        return 0;
    }
    // An entry still open that cannot be written spoils the whole archive.
    const bool finished = !archive->pending || write_entry_close(*archive) == 0;
    int error = 0;
    if (finished && zip_writer_finish(*archive)) {
        error = atomic_file_commit(archive->file);
    } else {
        error = archive->system_error;
    }
    if (system_error != nullptr) {
        *system_error = error;
    }
    // Without a commit, the archive's destruction removes the temporary file.
    return finished && archive->system_error == 0 && error == 0 ? 0 : -1;
}

std::int64_t mzsimple_entries_total(const ZipArchive& archive)
{
    if (archive.writing) {
        return static_cast<std::int64_t>(archive.names.size());
    }
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
