#include "cli/options.h"

#include "log/log.h"
#include "log/printable.h"

#include <getopt.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char* tool_version = "1.3.0";

// Matched in this order; getopt_long prefers an exact name over a prefix.
// Each option returns its own value, so that a prefix shared by several
// options (--ch) is ambiguous rather than taken as the first of them.
enum LongOption {
    opt_version,
    opt_help,
    opt_verbose,
    opt_action,
    opt_channel,
    opt_channelcsvfile,
    opt_channelgroupscsvfile,
    opt_channelinputscsvfile,
    opt_ip,
    opt_backupfileout,
    opt_backupfileouttype,
    opt_backupconfig,
    opt_backupfilein,
    opt_firmwarefile,
    opt_delete,
    opt_create,
    opt_file,
};

constexpr int long_option_base = 0x100;

constexpr option long_option(const char* name, int has_arg, LongOption id)
{
    return {name, has_arg, nullptr, long_option_base + id};
}

const option long_options[] = {
    long_option("version", no_argument, opt_version),
    long_option("help", no_argument, opt_help),
    long_option("verbose", no_argument, opt_verbose),
    long_option("action", required_argument, opt_action),
    long_option("channel", required_argument, opt_channel),
    long_option("channelcsvfile", required_argument, opt_channelcsvfile),
    long_option("channelgroupscsvfile", required_argument, opt_channelgroupscsvfile),
    long_option("channelinputscsvfile", required_argument, opt_channelinputscsvfile),
    long_option("ip", required_argument, opt_ip),
    long_option("backupfileout", required_argument, opt_backupfileout),
    long_option("backupfileouttype", required_argument, opt_backupfileouttype),
    long_option("backupconfig", required_argument, opt_backupconfig),
    long_option("backupfilein", required_argument, opt_backupfilein),
    long_option("firmwarefile", required_argument, opt_firmwarefile),
    long_option("delete", required_argument, opt_delete),
    long_option("create", required_argument, opt_create),
    long_option("file", required_argument, opt_file),
    {nullptr, 0, nullptr, 0},
};

void print_help()
{
    std::printf("Help\n");
    std::printf("version\t\tShow the command version.\n");
    std::printf("help\t\tShow the command help.\n");
    std::printf("action\t\tsetup_channel|get_backup|put_backup|push_firmware.\n");
    std::printf("ip\t\tIP address of the controller.\n");
    std::printf("channel\t\tChannel number (1-4).\n");
    std::printf("channelcsvfile\tChannel CSV file path.\n");
    std::printf("firmwarefile\tFirmware binary file path.\n");
    std::printf("Manual page: man kelpu-cli\n");
}

// A later list replaces an earlier one; an empty one leaves it as it was.
template <typename T>
void replace_list(std::vector<T>& list, std::vector<T> value)
{
    if (!value.empty())
        list = std::move(value);
}

void set_channels(CommandOptions& options, const char* value)
{
    std::printf("CHANNEL=%s\n", value);
    std::vector<int> channels = json_channel_list(value);
    if (channels.empty())
        return;
    // A 0 (a word that is not a number) ends the list where it stands.
    channels.erase(std::find(channels.begin(), channels.end(), 0), channels.end());
    options.optChannels = std::move(channels);
}

void set_csv_files(std::vector<std::string>& list, const char* echo_name, const char* value)
{
    std::printf("%s=%s\n", echo_name, value);
    std::printf("optarg=#%s#", value);
    replace_list(list, json_text_list(value));
}

// The names go into URLs and file names, so a value that is not a clean
// list of them is refused before anything is fetched.
bool set_backup_config(CommandOptions& options, const char* value)
{
    std::printf("BackupConfig%s\n", value);
    std::optional<std::vector<std::string>> names = json_config_name_list(value);
    if (!names) {
        log_color(colour_red,
                  "Invalid --backupconfig value %s: expected a JSON array of configuration names made of letters, "
                  "digits and underscores, such as [\"dali1\",\"cd1\"].",
                  printable(value).c_str());
        return false;
    }
    options.optBackupConfig = std::move(*names);
    return true;
}

// What the option means for the run: go on, finished (--help, --version)
// or refused.
ParseOutcome take_long_option(int index, CommandOptions& options)
{
    const char* value = optarg;
    switch (static_cast<LongOption>(index)) {
    case opt_version:
        std::printf("Version %s\n", tool_version);
        return ParseOutcome::finished;
    case opt_help:
        print_help();
        return ParseOutcome::finished;
    case opt_verbose:
        optVerbose = 1;
        std::printf("option %s", "verbose");
        std::printf("\n");
        break;
    case opt_action:
        std::printf("ACTION=%s\n", value);
        options.optAction = value;
        break;
    case opt_channel:
    case opt_create:
        set_channels(options, value);
        break;
    case opt_channelcsvfile:
        set_csv_files(options.optChannelCsvFiles, "CHANNELCSVFILE", value);
        break;
    case opt_channelgroupscsvfile:
        set_csv_files(options.optChannelGroupsCsvFiles, "CHANNELGROUPSCSVFILE", value);
        break;
    case opt_channelinputscsvfile:
        set_csv_files(options.optChannelInputsCsvFiles, "CHANNELINPUTSCSVFILE", value);
        break;
    case opt_ip:
        std::printf("IP=%s\n", value);
        options.optIP = value;
        break;
    case opt_backupfileout:
        std::printf("BackupFileOut%s\n", value);
        options.optBackupFileOut = value;
        break;
    case opt_backupfileouttype:
        std::printf("BackupFileOutType%s\n", value);
        options.optBackupFileOutType = value;
        break;
    case opt_backupconfig:
        if (!set_backup_config(options, value))
            return ParseOutcome::invalid;
        break;
    case opt_backupfilein:
        std::printf("BackupFileIn%s\n", value);
        options.optBackupFileIn = value;
        break;
    case opt_firmwarefile:
        std::printf("FIRMWAREFILE=%s\n", value);
        options.optFirmwareFile = value;
        break;
    case opt_delete:
    case opt_file:
        std::printf("option %s", long_options[index].name);
        std::printf(" with arg %s", value);
        std::printf("\n");
        break;
    }
    return ParseOutcome::run;
}

} // namespace

ParseOutcome options_parse(int argc, char** argv, CommandOptions& options)
{
    optind = 0; // full re-initialisation, so that a process can parse twice
    int digit_optind = 0;
    for (;;) {
        const int this_option_optind = optind ? optind : 1;
        const int c = getopt_long(argc, argv, "abc:d:012", long_options, nullptr);
        if (c == -1)
            break;
        if (c >= long_option_base) {
            const ParseOutcome outcome = take_long_option(c - long_option_base, options);
            if (outcome != ParseOutcome::run)
                return outcome;
            continue;
        }
        switch (c) {
        case '0':
        case '1':
        case '2':
            if (digit_optind != 0 && digit_optind != this_option_optind)
                std::printf("digits occur in two different argv-elements.\n");
            digit_optind = this_option_optind;
            std::printf("option %c\n", c);
            break;
        case 'a':
            // -a takes no value, so it names no action: the run reports an
            // action that is not defined.
            options.optAction = "";
            break;
        case 'c':
            set_channels(options, optarg);
            break;
        default:
            std::printf("?? getopt returned character code 0%o ??\n", static_cast<unsigned>(c));
            break;
        }
    }
    if (optind < argc) {
        std::printf("non-option ARGV-elements: ");
        while (optind < argc)
            std::printf("%s ", argv[optind++]);
        std::printf("\n");
    }
    return ParseOutcome::run;
}
