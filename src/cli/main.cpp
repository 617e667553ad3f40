#include "cli/cli_main.h"
#include "log/log.h"
#include "log/terminal_progress.h"
#include "window/window_run.h"

#include <cstdio>
#include <optional>

namespace {

int run_in_console(int argc, char** argv)
{
    std::optional<TerminalProgress> progress;
    if (TerminalProgress::wanted()) {
        progress.emplace();
        log_set_sink(&*progress);
    }
    const int status = cli_main(argc, argv);
    log_set_sink(nullptr);
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    if (log_window_wanted()) {
        if (const std::optional<int> status =
                run_in_log_window([&](const ActionEnded& action_ended) { return cli_main(argc, argv, action_ended); }))
            return *status;
        std::fprintf(stderr, "kelpu-cli: the log window cannot be opened; running in the console.\n");
    }
    return run_in_console(argc, argv);
}
