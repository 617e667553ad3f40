#pragma once
// Runs a program to its end and collects what it wrote, for tests that look
// at the utility as a user does: exit status, standard output, standard error.

#include <string>
#include <vector>

struct ProcessResult {
    int exit_code = -1; // -1 when the program did not end normally
    long peak_rss_kib = 0; // the program's peak resident size
    std::string out;
    std::string err;
};

// This process's environment with extra's "NAME=value" entries added or
// replacing those of the same name.
std::vector<std::string> merged_environment(const std::vector<std::string>& extra);

// Pointers to the texts, ending with a null one, as exec and posix_spawn
// take them; valid while texts lives unchanged.
std::vector<char*> c_strings(std::vector<std::string>& texts);

// extra_env entries are "NAME=value", added to (or replacing in) this
// process's environment.
ProcessResult run_process(const std::vector<std::string>& argv,
                          const std::vector<std::string>& extra_env = {});

// The built kelpu-cli with the given arguments, without a display (so
// without its log window) unless extra_env names one.
ProcessResult run_cli(const std::vector<std::string>& args,
                      const std::vector<std::string>& extra_env = {});
