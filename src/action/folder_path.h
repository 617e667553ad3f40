#pragma once

#include <optional>
#include <string>
#include <string_view>

// name inside folder, with one separator between them: a folder that already
// ends in the separator is used as it stands. Empty when the platform cannot
// hold the path: it is refused, never cut.
std::optional<std::string> folder_path(std::string_view folder, std::string_view name);
