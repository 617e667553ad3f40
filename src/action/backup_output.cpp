#include "action/backup_output.h"

#include "action/folder_path.h"
#include "log/log.h"
#include "platform/files.h"

#include <cstdio>
#include <limits>

namespace {

bool write_file(const std::string& path, std::span<const std::uint8_t> bytes)
{
    const PartialFile unfinished(path);
    FileHandle file(std::fopen(path.c_str(), "wb"));
    return file && file_write_and_close(std::move(file), bytes);
}

bool add_entry(ZipArchive& archive, std::string_view name, std::span<const std::uint8_t> bytes)
{
    // An archive without ZIP64 records holds no entry of 4 GiB or more.
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max() || mzsimple_entry_open(archive, name) != 0)
        return false;
    const bool written = mzsimple_entry_write(archive, bytes) == 0;
    return mzsimple_entry_close(archive) == 0 && written;
}

} // namespace

bool backup_output_open_zip(BackupOutput& output, const std::string& path)
{
    output.location = path;
    output.unfinished.emplace(path);
    output.archive = mzsimple_open(path, 6, 'w');
    if (!output.archive) {
        log_color(colour_red, "Could not open zip file for writing: %s", path.c_str());
        return false;
    }
    return true;
}

bool backup_output_store(BackupOutput& output, std::string_view name, std::span<const std::uint8_t> bytes)
{
    const std::string shown(name);
    if (output.archive) {
        if (add_entry(*output.archive, name, bytes))
            return true;
        log_color(colour_red, "Could not add %s to the backup archive.", shown.c_str());
        return false;
    }
    const std::optional<std::string> path = folder_path(output.location, name);
    if (path && write_file(*path, bytes))
        return true;
    log_color(colour_red, "Could not write file: %s", path.value_or(output.location + "/" + shown).c_str());
    return false;
}

bool backup_output_close(BackupOutput& output)
{
    const bool closed = !output.archive || mzsimple_close(std::move(output.archive)) == 0;
    output.unfinished.reset();
    if (closed)
        return true;
    log_color(colour_red, "Could not write zip file: %s", output.location.c_str());
    return false;
}
