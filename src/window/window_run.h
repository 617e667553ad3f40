#pragma once
// Runs the utility's work on a worker thread while a log window shows its
// lines and progress.

#include <functional>
#include <optional>

// Whether a run shows the log window: a display is there and standard
// output is not a terminal (a user at a terminal reads the log there).
bool log_window_wanted();

// work receives a function to call with the exit status once the action is
// over; the window closes about four seconds later and the status is
// returned. If work returns without that call (--help), the window closes
// at once. A user who closes the window before the action is over ends the
// process with status 1 and removes the output files not yet written whole.
// Gives nothing, without running work, when no window can be opened.
using WindowWork = std::function<int(const std::function<void(int status)>& action_ended)>;
std::optional<int> run_in_log_window(const WindowWork& work);
