#pragma once

#include <optional>
#include <string>

// An option that is absent or empty gives an action nothing to work with.
inline bool argument_given(const std::optional<std::string>& value)
{
    return value && !value->empty();
}
