#include "restore/action_put_backup.h"

#include "backup/backup_push.h"
#include "catalogue/backup_catalogue.h"
#include "firmware/file_read.h"
#include "firmware/firmware_info.h"
#include "log/log.h"
#include "mzsimple/mzsimple.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "restore/convert_config.h"
#include "restore/restore_tar.h"
#include "restore/tool_check.h"
#include "status/status.h"
#include "tar/tar.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// Names in one summary line stay well inside what the log window shows.
constexpr std::size_t summary_names_length = 400;

struct RestoreTarget {
    std::string ip;
    StatusRecord status;
};

std::uint32_t now_seconds()
{
    const std::time_t now = std::time(nullptr);
    return now < 0 ? 0 : static_cast<std::uint32_t>(now);
}

// The configuration file inside an archived TAR, read whole; empty when it
// is missing, empty or unreadable (reported).
Bytes read_member(const Bytes& archived, const std::string& path)
{
    TarStream tar;
    TarHeader header;
    if (tar_open_memory_reader(tar, archived) != TAR_SUCCESS || tar_find(tar, path, &header) != TAR_SUCCESS) {
        std::printf("%s\terror '%s' file not found.\r\n", "action_put_backup", path.c_str());
        return {};
    }
    if (header.size == 0) {
        std::printf("%s\terror '%s' file size error\r\n", "action_put_backup", path.c_str());
        return {};
    }
    // A size field that claims more than the archive holds cannot be read;
    // it must not make us allocate what it claims either.
    Bytes file;
    if (header.size <= archived.size()) {
        file.resize(header.size);
        if (tar_read_data(tar, file.data(), header.size) == TAR_SUCCESS)
            return file;
    }
    std::printf("%s\terror reading '%s'\r\n", "action_put_backup", path.c_str());
    return {};
}

// One archive entry with its restore row: read, converted, sent. Each buffer
// is let go as soon as the next one is made, so at most two copies of the
// file are held at any time.
bool restore_entry(ZipArchive& archive, const BackupRestoreRow& row, unsigned percent, const RestoreTarget& target)
{
    Bytes file;
    {
        const std::optional<Bytes> archived = mzsimple_entry_read(archive);
        if (!archived || archived->empty()) {
            std::printf("%s\terror reading '%s'\r\n", "action_put_backup", row.tar_name.c_str());
            return false;
        }
        file = read_member(*archived, row.controller_path);
        if (file.empty())
            return false;
    }
    Bytes converted;
    const int converted_result = convert_config(&row, &target.status, file, converted);
    file = {};
    std::printf("%s\tpush backup file '%s'.\n", "backup", row.controller_path.c_str());
    log_color(colour_black, "%u%% Restoring file %s...", percent, row.controller_path.c_str());
    if (converted_result != convert_done || converted.empty())
        return false;
    Bytes tar = restore_tar(row.controller_path, converted, now_seconds());
    converted = {};
    if (backup_push(target.ip, tar) != 0)
        return false;
    std::printf("\033[32m%s\tbackup push completed.\n\n\033[0m", "backup");
    return true;
}

struct ArchiveOutcome {
    std::size_t configuration_files = 0;
    std::vector<std::string> not_restored; // entry names
};

// Every configuration file of the archive, in archive order; the other
// entries ("tool.txt", "flashfs.bin", "log.txt") are passed over but count
// in the progress.
ArchiveOutcome restore_archive(ZipArchive& archive, const RestoreTarget& target)
{
    ArchiveOutcome outcome;
    const std::int64_t total = mzsimple_entries_total(archive);
    for (std::int64_t i = 0; i < total; ++i) {
        const auto percent = static_cast<unsigned>(100 * i / total);
        progress_set(static_cast<int>(percent));
        if (mzsimple_entry_open_index(archive, i) != 0)
            continue;
        const std::optional<std::string> name = mzsimple_entry_name(archive);
        const BackupRestoreRow* row =
            mzsimple_entry_isdir(archive) == 0 && name ? backup_restore_lookup(*name) : nullptr;
        if (row != nullptr) {
            ++outcome.configuration_files;
            if (!restore_entry(archive, *row, percent, target)) {
                log_color(colour_red, "File %s not restored.", row->tar_name.c_str());
                outcome.not_restored.push_back(row->tar_name);
            }
        }
        mzsimple_entry_close(archive);
    }
    return outcome;
}

void log_not_restored(const std::vector<std::string>& names)
{
    std::string line;
    std::string all;
    for (const std::string& name : names)
        all += all.empty() ? name : ", " + name;
    if (all.size() <= summary_names_length) {
        log_color(colour_red, "Restore incomplete: %zu file(s) not restored: %s.", names.size(), all.c_str());
        return;
    }
    for (const std::string& name : names) {
        if (!line.empty() && line.size() + name.size() > summary_names_length) {
            log_color(colour_red, "Not restored: %s", line.c_str());
            line.clear();
        }
        line += line.empty() ? name : ", " + name;
    }
    log_color(colour_red, "Not restored: %s", line.c_str());
    log_color(colour_red, "Restore incomplete: %zu file(s) not restored (named above).", names.size());
}

// A file that is not a ZIP archive goes to the controller as it is, if it
// is a TAR.
int restore_tar_file(const std::string& path, const RestoreTarget& target)
{
    TarStream tar;
    const int opened = tar_open_file(tar, path, "r");
    if (opened != TAR_SUCCESS) {
        log_color(colour_red, "Error %d opening tar file.", opened);
        return 1;
    }
    tar_close(tar);
    // It goes up as "flashraw.bin", as a firmware image does, so it can be
    // no larger than the largest image.
    Bytes bytes;
    if (file_read_append(path, bytes, firmware_image_max_size) == FileReadResult::done && !bytes.empty() &&
        backup_push(target.ip, bytes) == 0) {
        std::printf("OK\n");
        return 0;
    }
    log_not_restored({std::filesystem::path(path).filename().string()});
    return 1;
}

} // namespace

int put_backup_check_arguments(const std::optional<std::string>& ip, const std::optional<std::string>& backup_file)
{
    if (!ip || ip->empty() || !backup_file || backup_file->empty()) {
        log_color(colour_red, "Missing arguments for action put_backup.");
        return 2;
    }
    if (!path_fits(*backup_file)) {
        log_color(colour_red, "Backup file path is too long (%zu characters); nothing was restored.",
                  backup_file->size());
        return 2;
    }
    std::error_code ignored;
    if (std::filesystem::is_directory(*backup_file, ignored)) {
        log_color(colour_red, "Cannot open the backup file '%s': it is a folder.", backup_file->c_str());
        return 2;
    }
    if (!FileHandle(std::fopen(backup_file->c_str(), "rb"))) {
        log_color(colour_red, "Cannot open the backup file '%s': %s.", backup_file->c_str(), std::strerror(errno));
        return 2;
    }
    return 0;
}

int action_put_backup(const std::optional<std::string>& ip, const std::optional<std::string>& backup_file)
{
    if (const int refused = put_backup_check_arguments(ip, backup_file); refused != 0)
        return refused;
    RestoreTarget target{*ip, {}};
    const int status_result = status_fetch(target.ip, target.status);
    if (status_result == 0)
        std::printf("model_name=%s\r\n", target.status.model_name->c_str());

    // The archive's tool record is judged even when the controller cannot be
    // reached: a backup this tool cannot restore is worth knowing about.
    std::unique_ptr<ZipArchive> archive = mzsimple_open(*backup_file, 0, 'r');
    if (archive && !tool_check(*archive))
        return 2;
    if (status_result != 0) {
        log_color(colour_red, "Could not read the controller status; nothing was restored.");
        return 1;
    }
    if (!archive)
        return restore_tar_file(*backup_file, target);

    const ArchiveOutcome outcome = restore_archive(*archive, target);
    mzsimple_close(std::move(archive));
    progress_set(100);
    log_color(colour_black, "%u%% Restore operation completed.", 100u);
    // Another kind of ZIP given by mistake must not pass for a restore.
    if (outcome.configuration_files == 0) {
        log_color(colour_red, "The archive holds no configuration file; nothing was restored.");
        return 1;
    }
    if (outcome.not_restored.empty())
        return 0;
    log_not_restored(outcome.not_restored);
    return 1;
}
