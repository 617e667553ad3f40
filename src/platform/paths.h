#pragma once
// File-system paths on this platform: the separator and the length limit.

#include <optional>
#include <string>
#include <string_view>

inline constexpr char path_separator = '/';

// True when the platform can hold the path (it is shorter than PATH_MAX).
bool path_fits(std::string_view path);

// dir, the separator, then name. Empty when the result would not fit:
// a path is refused rather than cut, so nothing is written to a wrong place.
std::optional<std::string> path_join(std::string_view dir, std::string_view name);
