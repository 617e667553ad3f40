#pragma once
// The command line of one run, as read by options_parse.

#include "transport/verbose.h"

#include <optional>
#include <string>
#include <vector>

struct CommandOptions {
    std::optional<std::string> optAction;
    std::optional<std::string> optIP;
    std::optional<std::string> optBackupFileOut;
    std::optional<std::string> optBackupFileOutType;
    std::optional<std::string> optBackupFileIn;
    std::optional<std::string> optFirmwareFile;
    // Lists are empty when the option was not given. A channel list ends at
    // its first 0, so channel 0 cannot be listed.
    std::vector<int> optChannels;
    std::vector<std::string> optChannelCsvFiles;
    std::vector<std::string> optChannelGroupsCsvFiles;
    std::vector<std::string> optChannelInputsCsvFiles;
    std::vector<std::string> optBackupConfig;
};


enum class ParseOutcome {
    run,      // go on and dispatch the action
    finished, // --help or --version answered: the run is over, successfully
    invalid,  // an option's value was refused (with a red line): nothing is run
};

// Reads argv with getopt_long, echoing every option to standard output.
// argv is permuted (options first), as getopt_long does.
ParseOutcome options_parse(int argc, char** argv, CommandOptions& options);

// List values are JSON texts: every string at any depth, or for channels
// every number too, until the first array end, the end or an error.
std::vector<std::string> json_text_list(const char* value);
std::vector<int> json_channel_list(const char* value);
// The configuration names of --backupconfig: a JSON array of one or more
// strings, each made of letters, digits and underscores, and nothing else.
// Empty for any other text.
std::optional<std::vector<std::string>> json_config_name_list(const char* value);
