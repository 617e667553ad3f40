#pragma once
// Starting programs without a shell: every argument reaches the program as
// one element, whatever quotes, blanks or shell characters it holds.

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

struct SpawnRequest {
    std::string program;                   // a path, not looked up in PATH
    std::vector<std::string> arguments;    // after the program name
    std::optional<std::string> working_dir; // inherited when absent
    bool own_process_group = false;        // kept out of the terminal's Ctrl+C
};

// The child's process id, or nothing when it could not be started
// (missing file, not executable, no such working folder).
std::optional<pid_t> spawn_program(const SpawnRequest& request);

// A wait status as an exit code: the code of a normal exit, -1 for a
// program ended by a signal.
int exit_code_of(int wait_status);
