#include "cli/user_download_dir.h"

#include "platform/download_dir.h"

std::optional<std::string> user_download_dir()
{
    return platform_download_dir();
}
