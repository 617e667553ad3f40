#include "action/backup_output.h"

#include "action/folder_path.h"
#include "log/log.h"
#include "platform/atomic_file.h"

#include <cstring>

namespace {

void log_write_failure(const std::string& path, int error)
{
    if (error != 0)
        log_color(colour_red, "Could not write %s: %s", path.c_str(), std::strerror(error));
    else
        log_color(colour_red, "Could not write %s.", path.c_str());
}

} // namespace

bool backup_output_open_zip(BackupOutput& output, const std::string& path)
{
    output.location = path;
    int error = 0;
    output.archive = mzsimple_open(path, 6, 'w', &error);
    if (!output.archive) {
        const std::string reason = path + " (" + (error != 0 ? std::strerror(error) : "unknown error") + ")";
        log_color(colour_red, "Could not open zip file for writing: %s", reason.c_str());
        return false;
    }
    return true;
}

bool backup_output_store(BackupOutput& output, std::string_view name, std::span<const std::uint8_t> bytes)
{
    const std::string shown(name);
    if (output.archive) {
        if (mzsimple_entry_add(*output.archive, name, bytes) == 0)
            return true;
        if (output.archive->system_error != 0)
            log_write_failure(output.location, output.archive->system_error);
        else
            log_color(colour_red, "Could not add %s to the backup archive %s.", shown.c_str(),
                      output.location.c_str());
        return false;
    }
    const std::optional<std::string> path = folder_path(output.location, name);
    if (!path) {
        log_color(colour_red, "Output path too long: %s/%s", output.location.c_str(), shown.c_str());
        return false;
    }
    if (const int error = atomic_file_write_whole(*path, bytes)) {
        log_write_failure(*path, error);
        return false;
    }
    return true;
}

bool backup_output_close(BackupOutput& output)
{
    if (!output.archive)
        return true;
    int error = 0;
    if (mzsimple_close(std::move(output.archive), &error) == 0)
        return true;
    log_write_failure(output.location, error);
    return false;
}
