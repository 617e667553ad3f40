#pragma once
// Loading a firmware file into a FileImage and feeding it to a digest.
// Both loaders announce the file before they look at their arguments; their
// messages go to standard output.

#include "firmware/file_image.h"
#include "firmware/firmware_info.h"
#include "firmware/sha256.h"

#include <cstdint>
#include <optional>
#include <vector>

// The largest package that can hold a valid image: the image stored
// uncompressed, the digest entry, their encryption headers and codes, and
// room for a few small other entries.
inline constexpr std::uint64_t firmware_package_max_size = firmware_image_max_size + (std::uint64_t{1} << 20);

// Codes besides those of the package's structure (-2 to -15):
inline constexpr int firmware_input_refused = -5;   // not a regular file, or too large to be firmware
inline constexpr int firmware_content_invalid = -6; // an entry's authentication code or size does not match its data

// The password of both entries of every firmware package.
inline constexpr char firmware_package_password[] = "5c0e7a91d24f8b63e1a07d9c4b28f6a3d950e7c1";

// A ZIP package whose "kelpu.binary" entry is the image and whose "kelpu.bh"
// entry is the image's digest in hexadecimal, both under 256-bit WinZip AES.
// digest receives the decoded "kelpu.bh" text, or nothing when that text is
// not hexadecimal. Both entries' authentication codes are checked, and both
// are read to their end, so that their stated sizes count. 0 on success,
// else a negative code (-2 to -15).
int firmware_prepare_package(FileImage& image, std::optional<std::vector<std::uint8_t>>& digest,
                             Sha256& context);

// What firmware_prepare_package does once the package's bytes are in memory:
// every check and message from opening the archive on.
int firmware_package_unpack(const std::vector<std::uint8_t>& package, FileImage& image,
                            std::optional<std::vector<std::uint8_t>>& digest, Sha256& context);

// The file's bytes are the image. A file that cannot be opened gives an empty
// image and 0; the image checks reject it later. -10 without a context, -2
// when memory runs out, -5 for a file that is not regular or larger than
// any image.
int firmware_prepare_raw(FileImage& image, Sha256& context);
