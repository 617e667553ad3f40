#include "shell/shell_options.h"

#include <string_view>

ShellOptions parse_shell_options(const std::vector<std::string>& arguments)
{
    constexpr std::string_view url_switch = "--url=";
    ShellOptions options;
    for (const std::string& argument : arguments) {
        if (argument == "--use-views")
            options.use_views = true;
        else if (argument.starts_with(url_switch) && argument.size() > url_switch.size())
            options.start_url = argument.substr(url_switch.size());
    }
    return options;
}
