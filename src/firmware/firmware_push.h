#pragma once
// The two firmware exchanges with a controller: the image upload over TFTP
// and the request to apply it.

#include "firmware/file_image.h"
#include "firmware/sha256.h"

#include <cstdint>
#include <string_view>

// Uploads image as "flashraw.bin" to the controller at ip (TFTP, 128-byte
// blocks). show_progress drives the progress bar. 0 when the transfer
// completed; 1 for an empty ip or image or a failed transfer (logged red).
int firmware_push_tftp(std::string_view ip, const FileImage& image, bool show_progress);

// Asks the controller at ip (no scheme) to apply the uploaded image, named by
// its digest and size. 0 when the request completed, 1 when it failed
// (logged red). Ends with the "Verifying" line either way.
int firmware_request_upgrade(std::string_view ip, const Sha256Digest& digest, std::uint64_t size);
