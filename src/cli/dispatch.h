#pragma once

#include "cli/options.h"

// Runs the action that options.optAction names (which must be set) and
// returns the run's exit status: 0 done, 1 failed or partly done, 2 missing
// or invalid arguments (an unknown action name included).
int dispatch_action(const CommandOptions& options);
