#pragma once
// Whether a firmware file may be sent to a controller.

#include "firmware/file_image.h"
#include "firmware/sha256.h"

#include <string_view>

// The text after the path's last ".", unless that "." is the first character;
// empty otherwise. A view into path.
std::string_view file_extension(std::string_view path);

// Loads image.path ("bin": package, "binary": raw image; case counts) into
// image, its digest into digest, and answers whether it may be sent. A file
// that may not be sent ends with "FIRMWARE FILE IS NOT VALID!" on standard
// output.
bool firmware_validate(FileImage& image, Sha256Digest& digest);
