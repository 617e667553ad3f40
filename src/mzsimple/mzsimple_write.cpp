#include "mzsimple/mzsimple.h"
#include "mzsimple/zip_archive.h"

#include <zip.h>

#include <ctime>

namespace {

// Without ZIP64 records, counts stop at 16 bits and sizes and offsets at 32.
constexpr zip_int64_t max_entries = 65535;
constexpr std::uint64_t max_size = 0xFFFFFFFFu;
// Local and central header of one entry, each with its name, plus room for
// the extra fields libzip may add.
constexpr std::uint64_t header_bytes = 30 + 46 + 64;

// The most bytes deflate can turn size bytes into (zlib's deflateBound).
std::uint64_t compressed_bound(const ZipArchive& archive, std::uint64_t size)
{
    if (archive.method == ZIP_CM_STORE) {
        return size;
    }
    return size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
}

} // namespace

int write_entry_open(ZipArchive& archive, std::string name)
{
    zip_t* handle = archive.handle.get();
    if (archive.pending || zip_get_num_entries(handle, 0) >= max_entries ||
        zip_name_locate(handle, name.c_str(), 0) >= 0) {
        return -1;
    }
    archive.pending = ZipPendingEntry{std::move(name), std::time(nullptr), {}};
    return 0;
}

int mzsimple_entry_write(ZipArchive& archive, std::span<const std::uint8_t> data)
{
    if (!archive.writing || !archive.pending) {
        return -1;
    }
    std::vector<std::uint8_t>& content = archive.pending->data;
    if (data.size() > max_size - content.size()) {
        return -1;
    }
    content.insert(content.end(), data.begin(), data.end());
    return 0;
}

// Hands the finished entry to libzip, which compresses and writes it when
// the archive is closed, reading it from the buffer kept in `written`.
int write_entry_close(ZipArchive& archive)
{
    if (!archive.pending) {
        return -1;
    }
    ZipPendingEntry entry = std::move(*archive.pending);
    archive.pending.reset();

    const std::uint64_t bound = archive.size_bound + header_bytes + 2 * entry.name.size() +
                                compressed_bound(archive, entry.data.size());
    if (bound > max_size) {
        return -1;
    }
    zip_t* handle = archive.handle.get();
    const std::vector<std::uint8_t>& data = archive.written.emplace_back(std::move(entry.data));
    zip_source_t* source = zip_source_buffer(handle, data.data(), data.size(), 0);
    if (source == nullptr) {
        archive.written.pop_back();
        return -1;
    }
    const zip_int64_t index = zip_file_add(handle, entry.name.c_str(), source, ZIP_FL_ENC_GUESS);
    if (index < 0) {
        zip_source_free(source);
        archive.written.pop_back();
        return -1;
    }
    const auto added = static_cast<zip_uint64_t>(index);
    if (zip_set_file_compression(handle, added, archive.method, archive.method_level) != 0 ||
        zip_file_set_mtime(handle, added, static_cast<std::time_t>(entry.mtime), 0) != 0) {
        zip_delete(handle, added);
        return -1;
    }
    archive.size_bound = bound;
    return 0;
}
