#include "import/action_setup_channel.h"

#include "backup/backup.h"
#include "backup/backup_push.h"
#include "channel/channel_file.h"
#include "import/import.h"
#include "log/log.h"
#include "tar/tar.h"

#include <cstdio>
#include <memory>

namespace {

enum class SheetKind { channel, groups, inputs };

// What became of one channel.
enum class PairOutcome { restored, failed, end_run };

void list_tar(const std::vector<std::uint8_t>& bytes)
{
    std::printf("%s\tbackup file contains: \r\n", "backup");
    TarStream tar;
    if (tar_open_memory_reader(tar, bytes) != TAR_SUCCESS)
        return;
    for (;;) {
        TarHeader header;
        if (tar_read_header(tar, header) != TAR_SUCCESS)
            return;
        std::printf("\t%s (%d bytes)\r\n", header.name.c_str(), static_cast<int>(header.size));
        const int result = tar_next(tar);
        if (result != TAR_SUCCESS) {
            std::printf("\tfile error %d.\r\n", result);
            return;
        }
    }
}

int import_sheet(SheetKind kind, const BackupRecord& backup, const std::string& path, ChannelConfigImage& image)
{
    switch (kind) {
    case SheetKind::channel: return importcsv(backup, path, image);
    case SheetKind::groups: return importcsv_groups(backup, path, image);
    case SheetKind::inputs: return importcsv_cd(backup, path, image);
    }
    return importcsv_done;
}

PairOutcome setup_one_channel(const std::string& ip, unsigned channel, const std::string& path, SheetKind kind)
{
    const std::string base_address = "http://" + ip;
    const std::string config_name = "dali" + std::to_string(channel);
    BackupRecord backup;
    if (backup_fetch(base_address, config_name, backup) != 0) {
        log_color(colour_red, "Channel %u skipped: its configuration could not be downloaded.", channel);
        return PairOutcome::failed;
    }
    std::printf("OK\n");

    TarStream tar;
    tar_open_memory_writer(tar);
    auto image = std::make_unique<ChannelConfigImage>(); // 20 KiB: not on the stack
    std::printf("CH=%u\n", channel);
    std::printf("FILE=%s\n", path.c_str());

    // Nothing is sent that was built from nothing: without the controller's
    // current file the upload would erase the channel.
    if (read_dali_file(backup, channel, *image) != 0) {
        log_color(colour_red, "Channel %u skipped: its current channel file could not be read.", channel);
        return PairOutcome::failed;
    }
    bool complete = true;
    switch (import_sheet(kind, backup, path, *image)) {
    case importcsv_parse_error: return PairOutcome::end_run;
    case importcsv_not_supported: return PairOutcome::end_run;
    case importcsv_cannot_open:
        if (kind == SheetKind::inputs) {
            log_color(colour_red, "Channel %u skipped: CSV file '%s' could not be opened.", channel, path.c_str());
            return PairOutcome::failed;
        }
        log_color(colour_red, "CSV file '%s' could not be opened; channel %u is sent back unchanged.", path.c_str(),
                  channel);
        complete = false;
        break;
    case importcsv_no_tokeniser:
        log_color(colour_red, "Channel %u skipped: the CSV reader could not be set up.", channel);
        return PairOutcome::failed;
    }

    const int written = kind == SheetKind::inputs ? write_cd_file(tar, backup, channel, *image)
                                                  : write_dali_file(tar, backup, channel, *image);
    if (written != 0) {
        if (kind == SheetKind::inputs && backup.firmware_version)
            return PairOutcome::end_run; // the controller takes no inputs file; said once above
        log_color(colour_red, "Channel %u skipped: the controller did not name its firmware version.", channel);
        return PairOutcome::failed;
    }
    tar_finalize(tar);
    tar.buffer.resize(tar.pos);
    list_tar(tar.buffer);

    if (backup_push(ip, tar.buffer) != 0)
        return PairOutcome::failed;
    std::printf("OK\n");
    return complete ? PairOutcome::restored : PairOutcome::failed;
}

} // namespace

int action_setup_channel(const std::optional<std::string>& ip, const std::vector<int>& channels,
                         const std::vector<std::string>& channel_csv_files,
                         const std::vector<std::string>& channel_groups_csv_files,
                         const std::vector<std::string>& channel_inputs_csv_files)
{
    const bool has_ip = ip && !ip->empty();
    const std::vector<std::string>* files = nullptr;
    SheetKind kind = SheetKind::inputs;
    if (!channel_csv_files.empty()) {
        files = &channel_csv_files;
        kind = SheetKind::channel;
    } else if (!channel_groups_csv_files.empty()) {
        files = &channel_groups_csv_files;
        kind = SheetKind::groups;
    } else if (!channel_inputs_csv_files.empty()) {
        files = &channel_inputs_csv_files;
    }
    if (channels.empty() || files == nullptr || !has_ip) {
        std::printf("Missing arguments for action setup_channel.");
        return 2;
    }

    int result = 0;
    for (std::size_t i = 0; i < files->size() && i < channels.size(); ++i) {
        const PairOutcome outcome = setup_one_channel(*ip, static_cast<unsigned>(channels[i]), (*files)[i], kind);
        if (outcome != PairOutcome::restored)
            result = 1;
        if (outcome == PairOutcome::end_run)
            break;
    }
    return result;
}
