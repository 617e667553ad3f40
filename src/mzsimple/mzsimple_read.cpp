#include "mzsimple/mzsimple.h"
#include "mzsimple/zip_archive.h"

#include <zip.h>

#include <array>

namespace {

constexpr zip_uint32_t dos_directory_attribute = 0x10;

struct ZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};

char ascii_lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_name_ignoring_case(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool current_is_file(const ZipArchive& archive)
{
    return !archive.writing && archive.current && mzsimple_entry_isdir(archive) == 0;
}

using ZipFile = std::unique_ptr<zip_file_t, ZipFileClose>;

ZipFile open_current(ZipArchive& archive)
{
    return ZipFile(zip_fopen_index(archive.handle.get(), *archive.current, 0));
}

// Reads the current entry, which is exactly buffer.size() bytes long. The
// read past its end is what makes libzip compare the CRC-32.
bool read_current(ZipArchive& archive, std::span<std::uint8_t> buffer)
{
    const ZipFile file = open_current(archive);
    if (!file) {
        return false;
    }
    std::size_t done = 0;
    while (done < buffer.size()) {
        const zip_int64_t got = zip_fread(file.get(), buffer.data() + done, buffer.size() - done);
        if (got <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    std::uint8_t beyond = 0;
    return zip_fread(file.get(), &beyond, 1) == 0;
}

// Grows the result with the data that actually arrives, so a damaged or
// forged size field cannot make it allocate more than the entry holds.
std::optional<std::vector<std::uint8_t>> read_current_whole(ZipArchive& archive, std::uint64_t size)
{
    const ZipFile file = open_current(archive);
    if (!file) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> data;
    std::array<std::uint8_t, 65536> chunk;
    for (;;) {
        const zip_int64_t got = zip_fread(file.get(), chunk.data(), chunk.size());
        if (got < 0 || data.size() + static_cast<std::uint64_t>(got) > size) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        data.insert(data.end(), chunk.begin(), chunk.begin() + got);
    }
    if (data.size() != size) {
        return std::nullopt;
    }
    return data;
}

} // namespace

int read_entry_open(ZipArchive& archive, const std::string& name)
{
    archive.current.reset();
    for (std::size_t i = 0; i < archive.names.size(); ++i) {
        if (same_name_ignoring_case(archive.names[i], name)) {
            archive.current = i;
            return 0;
        }
    }
    return -1;
}

int mzsimple_entry_open_index(ZipArchive& archive, std::int64_t index)
{
    if (archive.writing) {
        return -1;
    }
    archive.current.reset();
    if (index < 0 || static_cast<std::uint64_t>(index) >= archive.names.size()) {
        return -1;
    }
    archive.current = static_cast<std::uint64_t>(index);
    return 0;
}

int mzsimple_entry_isdir(const ZipArchive& archive)
{
    const std::optional<std::string> name = mzsimple_entry_name(archive);
    if (!name) {
        return -1;
    }
    if (name->ends_with('/')) {
        return 1;
    }
    if (archive.writing) {
        return 0;
    }
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive.handle.get(), *archive.current, 0, &system, &attributes) != 0) {
        return -1;
    }
    return (attributes & dos_directory_attribute) != 0 ? 1 : 0;
}

std::uint64_t mzsimple_entry_size(const ZipArchive& archive)
{
    if (archive.writing) {
        return archive.pending ? archive.pending->data.size() : 0;
    }
    zip_stat_t info;
    zip_stat_init(&info);
    if (!archive.current || zip_stat_index(archive.handle.get(), *archive.current, 0, &info) != 0 ||
        (info.valid & ZIP_STAT_SIZE) == 0) {
        return 0;
    }
    return info.size;
}

std::optional<std::vector<std::uint8_t>> mzsimple_entry_read(ZipArchive& archive)
{
    if (!current_is_file(archive)) {
        return std::nullopt;
    }
    return read_current_whole(archive, mzsimple_entry_size(archive));
}

std::int64_t mzsimple_entry_read_into(ZipArchive& archive, std::span<std::uint8_t> buffer)
{
    if (!current_is_file(archive)) {
        return -1;
    }
    const std::uint64_t size = mzsimple_entry_size(archive);
    if (size > buffer.size() || !read_current(archive, buffer.first(size))) {
        return -1;
    }
    return static_cast<std::int64_t>(size);
}
