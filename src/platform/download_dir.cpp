#include "platform/download_dir.h"

#include <cstdlib>
#include <fstream>

namespace {

std::optional<std::string> env(const char* name)
{
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

// Reads XDG_DOWNLOAD_DIR="..." from user-dirs.dirs; "$HOME" at the start
// stands for the home folder, as xdg-user-dirs writes it.
std::optional<std::string> xdg_download_dir(const std::string& home)
{
    std::string config = env("XDG_CONFIG_HOME").value_or(home + "/.config");
    std::ifstream file(config + "/user-dirs.dirs");
    const std::string key = "XDG_DOWNLOAD_DIR=\"";
    for (std::string line; std::getline(file, line);) {
        if (line.compare(0, key.size(), key) != 0 || line.back() != '"')
            continue;
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.compare(0, 5, "$HOME") == 0)
            value = home + value.substr(5);
        if (value.empty() || value.front() != '/')
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> platform_download_dir()
{
    std::optional<std::string> home = env("HOME");
    if (!home)
        return std::nullopt;
    if (std::optional<std::string> xdg = xdg_download_dir(*home))
        return xdg;
    return *home + "/Downloads";
}
