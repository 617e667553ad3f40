#include "cli/dispatch.h"

#include "action/get_backup.h"
#include "action/read_file.h"
#include "cli/user_download_dir.h"
#include "firmware/action_push_firmware.h"
#include "import/action_export_channel.h"
#include "import/action_setup_channel.h"
#include "log/log.h"
#include "restore/action_put_backup.h"
#include "status/status.h"

#include <cstdio>

namespace {

// What an action's result code means for the process.
int exit_status(int action_result)
{
    if (action_result == 0)
        return 0;
    return action_result == 2 ? 2 : 1;
}

int do_nothing(const CommandOptions&)
{
    return 0;
}

void run_safety_backup(const CommandOptions& options, const char* message);

// A restore that cannot start is refused before the safety backup, which
// would otherwise take minutes for nothing.
int run_put_backup(const CommandOptions& o)
{
    if (const int refused = put_backup_check_arguments(o.optIP, o.optBackupFileIn); refused != 0)
        return refused;
    run_safety_backup(o, "Downloading backup before restoring (%s)...");
    return action_put_backup(o.optIP, o.optBackupFileIn);
}

struct ActionEntry {
    const char* name;
    int (*run)(const CommandOptions&); // null: not part of this build
    const char* safety_backup_message; // null: no backup beforehand
};

const ActionEntry actions[] = {
    {"put_backup", run_put_backup, nullptr}, // takes its safety backup itself
    {"get_backup",
     [](const CommandOptions& o) {
         // The run's log goes into the backup as "log.txt".
         log_capture_begin();
         const int result = action_get_backup(o.optIP, o.optBackupFileOut, o.optBackupFileOutType, o.optBackupConfig);
         log_capture_end();
         return result;
     },
     nullptr},
    {"push_firmware",
     [](const CommandOptions& o) { return action_push_firmware(o.optIP, o.optFirmwareFile); },
     "Downloading backup before firmware upgrade (%s)..."},
    {"setup_channel",
     [](const CommandOptions& o) {
         return action_setup_channel(o.optIP, o.optChannels, o.optChannelCsvFiles, o.optChannelGroupsCsvFiles,
                                     o.optChannelInputsCsvFiles);
     },
     nullptr},
    {"export_channel",
     [](const CommandOptions& o) { return action_export_channel(o.optIP, o.optChannels, o.optBackupFileOut); },
     nullptr},
    {"get_status", [](const CommandOptions& o) { return action_get_status(o.optIP); }, nullptr},
    {"read_file_flashraw",
     [](const CommandOptions& o) {
         return action_read_file(o.optIP, "flashraw.bin", 2097152, o.optBackupFileOut, o.optBackupFileOutType);
     },
     nullptr},
    {"read_file_flashfs",
     [](const CommandOptions& o) {
         return action_read_file(o.optIP, "flashfs.bin", 2097152, o.optBackupFileOut, o.optBackupFileOutType);
     },
     nullptr},
    {"write_file_flashraw", do_nothing, nullptr},
    {"write_file_flashfs", do_nothing, nullptr},
};

// Before a destructive action, a full backup goes to the download folder;
// the action runs whatever that backup's outcome.
void run_safety_backup(const CommandOptions& options, const char* message)
{
    const std::optional<std::string> folder = user_download_dir();
    if (!folder) {
        log_color(colour_orange, "[WARN] Could not determine user download directory, skipping get_backup.");
        return;
    }
    log_color(colour_green, message, folder->c_str());
    // The backup creates the folder when the desktop has none yet.
    action_get_backup(options.optIP, folder, "zip", {});
}

} // namespace

int dispatch_action(const CommandOptions& options)
{
    const std::string& name = *options.optAction;
    for (const ActionEntry& action : actions) {
        if (name != action.name)
            continue;
        if (action.safety_backup_message != nullptr)
            run_safety_backup(options, action.safety_backup_message);
        if (action.run == nullptr) {
            log_color(colour_red, "Action '%s' is not available in this build.", action.name);
            return 1;
        }
        return exit_status(action.run(options));
    }
    std::printf("\nAction '%s' not defined.\n", name.c_str());
    return 2;
}
