#pragma once
// The push_firmware action: validate a firmware file, upload it and have the
// controller apply it.

#include <optional>
#include <string>

// 0 when the image was valid, uploaded and the upgrade request completed;
// 1 on any failure; 2 when the address or the file name is missing, or the
// file name is longer than a path can be.
int action_push_firmware(const std::optional<std::string>& ip, const std::optional<std::string>& firmware_file);
