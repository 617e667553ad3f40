#pragma once

#include <string_view>

// Tells the controller at ip (bare address, no scheme) to apply the file
// just uploaded as "flashraw.bin". 0 when the request completed, 1 when ip
// is empty or the request failed (reported on standard error).
int backup_put(std::string_view ip);
