#include "action/get_backup.h"

#include "action/argument_given.h"
#include "action/backup_archive_name.h"
#include "action/backup_output.h"
#include "action/folder_path.h"
#include "backup/backup.h"
#include "catalogue/backup_catalogue.h"
#include "log/log.h"
#include "platform/atomic_file.h"
#include "transport/tftp_read.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

namespace {

constexpr std::string_view tool_record = "{\n"
                                         "  \"tool_name\": \"kelpu-cli\",\n"
                                         "  \"version_major\": 1,\n"
                                         "  \"version_minor\": 3,\n"
                                         "  \"version_revision\": 0,\n"
                                         "  \"version_string\": \"1.3.0\"\n"
                                         "}\n";

constexpr std::uint64_t flash_size = 2097152;

// Exchanges failed in a row after which a backup gives up on the controller.
constexpr unsigned unanswered_limit = 3;

// A log line stays well inside what the log window shows of one line.
constexpr std::size_t missing_line_length = 480;

std::span<const std::uint8_t> bytes_of(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::tm local_now()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr)
        return std::tm{};
    return local;
}

// The longest file name that directory output writes.
std::size_t longest_file_name(std::span<const std::string> names)
{
    std::size_t longest = std::string_view("flashfs.bin").size();
    for (const std::string& name : names)
        longest = std::max(longest, name.size() + 4);
    return longest;
}

void log_missing(const std::vector<std::string>& missing, const std::string& location)
{
    std::string line;
    for (const std::string& name : missing) {
        if (!line.empty() && line.size() + name.size() > missing_line_length) {
            log_color(colour_red, "Missing from the backup: %s", line.c_str());
            line.clear();
        }
        line += line.empty() ? name : ", " + name;
    }
    log_color(colour_red, "Missing from the backup: %s", line.c_str());
    log_color(colour_red, "Backup incomplete: %zu file(s) missing (%s).", missing.size(), location.c_str());
}

enum class Stored { yes, missing, output_failed };

Stored read_flashfs(const std::string& ip, BackupOutput& output)
{
    std::vector<std::uint8_t> image;
    if (action_read_file_memory(ip, "flashfs.bin", flash_size, image) != 0 || image.empty()) {
        log_color(colour_orange, "[WARN] Could not fetch flashfs.bin for backup");
        return Stored::missing;
    }
    return backup_output_store(output, "flashfs.bin", image) ? Stored::yes : Stored::output_failed;
}

// Fetches and stores every configuration, adding to missing the entry names
// of those that could not be had. A configuration that the controller does
// not have is not missing: there is nothing to back up. false as soon as
// the output cannot take a file: the backup cannot be completed.
bool store_configurations(const std::string& ip, std::span<const std::string> names, BackupOutput& output,
                          std::vector<std::string>& missing)
{
    const std::string base = "http://" + ip;
    unsigned failed_in_a_row = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        // Each failed exchange may have waited out a time limit: a controller
        // that fails several in a row is not asked for hundreds more.
        if (failed_in_a_row == unanswered_limit) {
            log_color(colour_red, "The controller stopped answering: %zu configuration(s) not asked for.",
                      names.size() - i);
            std::transform(names.begin() + static_cast<std::ptrdiff_t>(i), names.end(), std::back_inserter(missing),
                           [](const std::string& name) { return name + ".tar"; });
            break;
        }
        const auto percent = static_cast<unsigned>(i * 100 / names.size());
        progress_set(static_cast<int>(percent));
        const std::string entry = names[i] + ".tar";
        BackupRecord record;
        const int result = backup_fetch(base, names[i], record);
        failed_in_a_row = result == backup_fetch_failed ? failed_in_a_row + 1 : 0;
        if (result != 0) {
            std::printf("\033[31m%s\tbackup file not found for action get_backup.\r\n\r\n\033[0m", "backup");
            log_color(colour_red, "%s\tbackup file not found for action get_backup.", "backup");
            if (result != backup_check_not_present)
                missing.push_back(entry);
            continue;
        }
        std::printf("\033[32m%s\tbackup file OK, adding to backup archive...\r\n\r\n\033[0m", "backup");
        if (!backup_output_store(output, entry, record.data))
            return false;
        if (output.archive)
            log_color(colour_green, "%u%% Backup file %s...", percent, entry.c_str());
    }
    return true;
}

int refuse(const char* format, const char* value)
{
    log_color(colour_red, format, value);
    return 2;
}

} // namespace

int action_get_backup(const std::optional<std::string>& ip, const std::optional<std::string>& out_dir,
                      const std::optional<std::string>& out_type, std::span<const std::string> config_names)
{
    if (!argument_given(ip) || !argument_given(out_dir)) {
        std::printf("Missing arguments for action get_backup.");
        log_color(colour_red, "Missing arguments for action get_backup.");
        return 2;
    }
    const bool zip = out_type == "zip";
    if (out_type && !zip && *out_type != "directory")
        return refuse("Unknown output type '%s' for action get_backup: use zip or directory.", out_type->c_str());
    const std::span<const std::string> names = config_names.empty() ? backup_config_names() : config_names;
    for (const std::string& name : names) {
        if (!backup_config_name_valid(name))
            return refuse("Invalid configuration name '%s': only letters, digits and underscores are allowed.",
                          name.c_str());
    }

    std::optional<std::string> archive_path;
    if (zip)
        archive_path = folder_path(*out_dir, backup_archive_name(*ip, local_now()));
    if (zip ? !archive_path : !folder_path(*out_dir, std::string(longest_file_name(names), '_')))
        return refuse("Output path too long: %s", out_dir->c_str());
    // The folder is there, or refused, before anything is downloaded.
    if (const int error = folder_create(*out_dir)) {
        log_color(colour_red, "Could not create the output folder %s: %s", out_dir->c_str(), std::strerror(error));
        return 1;
    }
    BackupOutput output;
    output.location = *out_dir;
    if (zip && !backup_output_open_zip(output, *archive_path))
        return 1;

    // A file the output cannot take ends the run: an archive that is not
    // completed is not left behind, and an earlier file stays as it was.
    if (!backup_output_store(output, "tool.txt", bytes_of(tool_record)))
        return 1;
    std::vector<std::string> missing;
    const Stored flashfs = read_flashfs(*ip, output);
    if (flashfs == Stored::output_failed)
        return 1;
    if (flashfs == Stored::missing)
        missing.push_back("flashfs.bin");
    if (!store_configurations(*ip, names, output, missing))
        return 1;

    progress_set(100);
    if (!missing.empty())
        log_missing(missing, output.location);
    if (log_capture_data() != nullptr && log_capture_size() > 0 &&
        !backup_output_store(output, "log.txt", bytes_of({log_capture_data(), log_capture_size()})))
        return 1;
    if (!backup_output_close(output))
        return 1;
    // Only a backup that is in place is reported complete.
    if (!missing.empty())
        return 1;
    log_color(colour_green, "%u%% Completed (%s).", 100u, output.location.c_str());
    return 0;
}
