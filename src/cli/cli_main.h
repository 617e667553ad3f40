#pragma once

#include <functional>

// Told the run's exit status once the action is over (not after --help or
// --version, which answer at once). A log window starts its closing pause
// there, so that a user who closes it afterwards does not stop anything.
using ActionEnded = std::function<void(int status)>;

// One run of the utility: parse, dispatch one action, release. Returns the
// process exit status.
int cli_main(int argc, char** argv, const ActionEnded& action_ended = {});
