#pragma once

#include <chrono>

// One run of the utility: parse, dispatch one action, release, pause.
// pause_at_end lets a log window stay readable before it closes; a run on
// the console alone does not wait. Returns the process exit status.
int cli_main(int argc, char** argv, std::chrono::milliseconds pause_at_end = {});
