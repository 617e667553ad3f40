#include "platform/paths.h"

#include <climits>

bool path_fits(std::string_view path)
{
    return path.size() < PATH_MAX;
}

std::optional<std::string> path_join(std::string_view dir, std::string_view name)
{
    std::string joined;
    joined.reserve(dir.size() + 1 + name.size());
    joined.append(dir);
    joined += path_separator;
    joined.append(name);
    if (!path_fits(joined))
        return std::nullopt;
    return joined;
}
