#include "cli/cli_main.h"

#include "cli/dispatch.h"
#include "cli/options.h"

#include <curl/curl.h>

#include <cstdio>

namespace {

void echo_main_values(const CommandOptions& options)
{
    if (options.optAction)
        std::printf("optAction=%s\n", options.optAction->c_str());
    if (options.optIP)
        std::printf("optIP=%s\n", options.optIP->c_str());
    if (options.optBackupFileOut)
        std::printf("optBackupFileOut=%s\n", options.optBackupFileOut->c_str());
    if (options.optBackupFileOutType)
        std::printf("optBackupFileOutType=%s\n", options.optBackupFileOutType->c_str());
}

} // namespace

int cli_main(int argc, char** argv, const ActionEnded& action_ended)
{
    std::printf("%s\n", "kelpu-cli");
    curl_global_init(CURL_GLOBAL_ALL);

    CommandOptions options;
    int status = 0;
    const ParseOutcome outcome = options_parse(argc, argv, options);
    if (outcome == ParseOutcome::run) {
        echo_main_values(options);
        // Without an action nothing was done: a caller whose --action was
        // mistyped must not take the run for a success.
        status = options.optAction ? dispatch_action(options) : 2;
    } else if (outcome == ParseOutcome::invalid) {
        status = 2;
    }
    if (outcome != ParseOutcome::finished) {
        // The user reads the window's last lines before it closes.
        std::fflush(stdout);
        if (action_ended)
            action_ended(status);
    }
    curl_global_cleanup();
    return status;
}
