#include "shell/kit_paths.h"

#include <unistd.h>

#include <climits>

std::optional<std::string> executable_dir()
{
    std::string path(PATH_MAX, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
        return std::nullopt;
    path.resize(static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return std::nullopt;
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

KitPaths kit_paths(const std::string& root)
{
    const std::string base = root == "/" ? std::string() : root;
    return KitPaths{
        root,
        base + "/cli/kelpu-cli",
        base + "/http",
        base + "/http/kelpkit-http-server",
        base + "/extensions",
    };
}
