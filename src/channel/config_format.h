#pragma once
// Which file format a controller's firmware expects. Versions compare as
// plain bytes, as the controller's own lookup does: "1.10.0" sorts before
// "1.3.0" and so counts as older.

#include <string_view>

// Channel file format 0..3 for a firmware version; 0 below "1.0.0".
unsigned dali_format_for_firmware(std::string_view firmware_version);

// Inputs file format 0, 2 or 3 for a firmware version; 0 below "1.0.0".
unsigned cd_format_for_firmware(std::string_view firmware_version);
