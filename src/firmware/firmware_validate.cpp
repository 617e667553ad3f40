#include "firmware/firmware_validate.h"

#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"

#include <algorithm>
#include <cstdio>

namespace {

bool loaded_and_checked(FileImage& image, Sha256Digest& digest)
{
    Sha256 context = sha256_start();
    const std::string_view extension = file_extension(image.path);
    std::printf("\n");

    if (extension == "bin") {
        std::optional<std::vector<std::uint8_t>> package_digest;
        if (firmware_prepare_package(image, package_digest, context) != 0)
            return false;
        digest = sha256_finish(context);
        if (!package_digest)
            return false;
        if (!std::ranges::equal(digest, *package_digest)) {
            std::printf("File is invalid (h).\n");
            return false;
        }
    } else if (extension == "binary") {
        if (firmware_prepare_raw(image, context) != 0)
            return false;
        digest = sha256_finish(context);
    } else {
        std::printf("File format not supported.\n");
        return false;
    }
    return firmware_check_info(image.data) == 0;
}

} // namespace

std::string_view file_extension(std::string_view path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return path.substr(dot + 1);
}

bool firmware_validate(FileImage& image, Sha256Digest& digest)
{
    if (loaded_and_checked(image, digest))
        return true;
    std::printf("FIRMWARE FILE IS NOT VALID!");
    std::fflush(stdout);
    return false;
}
