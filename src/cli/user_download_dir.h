#pragma once

#include <optional>
#include <string>

// The current user's download folder, where safety backups go.
std::optional<std::string> user_download_dir();
