#pragma once
// The shell's command line: "--use-views" and "--url=ADDRESS". Other
// arguments are left alone, as a browser leaves switches it does not know.

#include <string>
#include <vector>

inline constexpr const char* default_start_url = "http://localhost:7681";

struct ShellOptions {
    bool use_views = false;
    std::string start_url = default_start_url;
};

ShellOptions parse_shell_options(const std::vector<std::string>& arguments);
