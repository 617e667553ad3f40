#include "action/folder_path.h"

#include "platform/paths.h"

std::optional<std::string> folder_path(std::string_view folder, std::string_view name)
{
    if (folder.empty() || folder.back() != path_separator)
        return path_join(folder, name);
    std::string path = std::string(folder) + std::string(name);
    if (!path_fits(path))
        return std::nullopt;
    return path;
}
