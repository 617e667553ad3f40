#pragma once

#include <optional>
#include <string>

// The desktop's download folder: XDG_DOWNLOAD_DIR from the user-dirs file,
// else $HOME/Downloads. Empty when neither can be determined.
std::optional<std::string> platform_download_dir();
