#include "mzsimple/mzsimple.h"
#include "mzsimple/zip_archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <ctime>
#include <memory>

namespace {

// Without ZIP64 records, counts stop at 16 bits and sizes and offsets at 32.
constexpr std::size_t max_entries = 65535;
constexpr std::uint64_t max_size = 0xFFFFFFFFu;
// Local header, data descriptor and central record of one entry, each with
// its name, plus room for the extra fields the writer adds.
constexpr std::uint64_t header_bytes = 30 + 24 + 46 + 96;
constexpr std::size_t copy_chunk = 65536;

struct EntryFree {
    void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};

struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

// The most bytes deflate can turn size bytes into (zlib's deflateBound).
std::uint64_t compressed_bound(std::uint64_t size)
{
    return size + (size >> 12) + (size >> 14) + (size >> 25) + 13;
}

// Whether deflate at level makes data smaller. The compressed bytes are
// only counted, never kept, so memory stays small whatever the size.
bool deflate_shrinks(std::span<const std::uint8_t> data, int level)
{
    if (data.empty())
        return false;
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    // Sizes reach this point below 4 GiB, within what zlib counts at once.
    std::array<Bytef, 16384> scratch;
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    while (result == Z_OK && stream.total_out < data.size()) {
        stream.next_out = scratch.data();
        stream.avail_out = static_cast<uInt>(scratch.size());
        result = deflate(&stream, Z_FINISH);
    }
    const bool shrinks = result == Z_STREAM_END && stream.total_out < data.size();
    deflateEnd(&stream);
    return shrinks;
}

// The errno behind the writer's failure; EIO when it names none.
void note_failure(ZipArchive& archive)
{
    if (archive.system_error == 0) {
        const int error = archive_errno(archive.writer.get());
        archive.system_error = error > 0 ? error : EIO;
    }
}

bool may_add(const ZipArchive& archive, const std::string& name)
{
    return archive.writing && archive.writer && archive.system_error == 0 && !name.empty() &&
           archive.names.size() < max_entries && std::ranges::find(archive.names, name) == archive.names.end();
}

// Reserves the entry's room within 4 GiB; false when it would not fit.
bool reserve(ZipArchive& archive, const std::string& name, std::uint64_t size)
{
    const std::uint64_t bound = archive.size_bound + header_bytes + 2 * name.size() + compressed_bound(size);
    if (size > max_size || bound > max_size)
        return false;
    archive.size_bound = bound;
    return true;
}

bool entry_begin(ZipArchive& archive, const std::string& name, std::int64_t mtime, std::uint64_t size,
                 bool deflate)
{
    struct archive* writer = archive.writer.get();
    const std::unique_ptr<archive_entry, EntryFree> entry(archive_entry_new());
    if (!entry)
        return false;
    archive_entry_set_pathname_utf8(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(size));
    archive_entry_set_mtime(entry.get(), static_cast<std::time_t>(mtime), 0);
    const int method = deflate ? archive_write_zip_set_compression_deflate(writer)
                               : archive_write_zip_set_compression_store(writer);
    if (method != ARCHIVE_OK || archive_write_header(writer, entry.get()) != ARCHIVE_OK) {
        note_failure(archive);
        return false;
    }
    archive.names.push_back(name);
    return true;
}

bool entry_data(ZipArchive& archive, std::span<const std::uint8_t> data)
{
    while (!data.empty()) {
        const la_ssize_t written = archive_write_data(archive.writer.get(), data.data(), data.size());
        if (written <= 0) {
            note_failure(archive);
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

bool entry_end(ZipArchive& archive)
{
    if (archive_write_finish_entry(archive.writer.get()) != ARCHIVE_OK) {
        note_failure(archive);
        return false;
    }
    return true;
}

int write_whole_entry(ZipArchive& archive, const std::string& name, std::int64_t mtime,
                      std::span<const std::uint8_t> data)
{
    if (!may_add(archive, name) || !reserve(archive, name, data.size()))
        return -1;
    const bool deflate = archive.level != 0 && deflate_shrinks(data, archive.level);
    const bool written = entry_begin(archive, name, mtime, data.size(), deflate) && entry_data(archive, data) &&
                         entry_end(archive);
    return written ? 0 : -1;
}

bool copy_entry(ZipArchive& archive, zip* source, zip_uint64_t index)
{
    zip_stat_t info;
    zip_stat_init(&info);
    const char* name = zip_get_name(source, index, 0);
    if (name == nullptr || zip_stat_index(source, index, 0, &info) != 0 ||
        (info.valid & (ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_MTIME)) !=
            (ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_MTIME))
        return false;
    const std::string entry_name = zip_entry_name(name);
    const std::unique_ptr<zip_file_t, ZipFileClose> file(zip_fopen_index(source, index, 0));
    // The entry keeps the choice made when it was written.
    const bool deflate = archive.level != 0 && info.comp_size < info.size;
    if (!file || !may_add(archive, entry_name) || !reserve(archive, entry_name, info.size) ||
        !entry_begin(archive, entry_name, info.mtime, info.size, deflate))
        return false;
    std::array<std::uint8_t, copy_chunk> chunk;
    std::uint64_t copied = 0;
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), chunk.data(), chunk.size());
        if (got < 0 || copied + static_cast<std::uint64_t>(got) > info.size)
            return false;
        if (got == 0)
            break;
        copied += static_cast<std::uint64_t>(got);
        if (!entry_data(archive, std::span(chunk).first(static_cast<std::size_t>(got))))
            return false;
    }
    return copied == info.size && entry_end(archive);
}

} // namespace

void ZipWriterFree::operator()(archive* handle) const
{
    archive_write_free(handle);
}

bool zip_writer_start(ZipArchive& archive)
{
    archive.writer.reset(archive_write_new());
    struct archive* writer = archive.writer.get();
    if (writer == nullptr || archive_write_set_format_zip(writer) != ARCHIVE_OK ||
        archive_write_set_format_option(writer, "zip", "zip64", nullptr) != ARCHIVE_OK)
        return false;
    if (archive.level != 0) {
        const std::string level = std::to_string(archive.level);
        if (archive_write_set_format_option(writer, "zip", "compression-level", level.c_str()) != ARCHIVE_OK)
            return false;
    }
    return archive_write_open_fd(writer, archive.file.fd) == ARCHIVE_OK;
}

bool zip_writer_copy_entries(ZipArchive& archive, zip* source)
{
    const zip_int64_t count = zip_get_num_entries(source, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        if (!copy_entry(archive, source, static_cast<zip_uint64_t>(i)))
            return false;
    }
    return true;
}

bool zip_writer_finish(ZipArchive& archive)
{
    if (archive.system_error != 0)
        return false;
    if (archive_write_close(archive.writer.get()) != ARCHIVE_OK) {
        note_failure(archive);
        return false;
    }
    return true;
}

int write_entry_open(ZipArchive& archive, std::string name)
{
    if (archive.pending || !may_add(archive, name))
        return -1;
    archive.pending = ZipPendingEntry{std::move(name), std::time(nullptr), {}};
    return 0;
}

int mzsimple_entry_write(ZipArchive& archive, std::span<const std::uint8_t> data)
{
    if (!archive.writing || !archive.pending)
        return -1;
    std::vector<std::uint8_t>& content = archive.pending->data;
    if (data.size() > max_size - content.size())
        return -1;
    content.insert(content.end(), data.begin(), data.end());
    return 0;
}

int write_entry_close(ZipArchive& archive)
{
    if (!archive.pending)
        return -1;
    const ZipPendingEntry entry = std::move(*archive.pending);
    archive.pending.reset();
    return write_whole_entry(archive, entry.name, entry.mtime, entry.data);
}

int mzsimple_entry_add(ZipArchive& archive, std::string_view name, std::span<const std::uint8_t> data)
{
    if (archive.pending || name.empty() || name.find('\0') != std::string_view::npos)
        return -1;
    return write_whole_entry(archive, zip_entry_name(name), std::time(nullptr), data);
}
