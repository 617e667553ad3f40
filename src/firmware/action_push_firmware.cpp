#include "firmware/action_push_firmware.h"

#include "firmware/firmware_push.h"
#include "firmware/firmware_validate.h"
#include "log/log.h"
#include "platform/paths.h"

#include <cstdio>

int action_push_firmware(const std::optional<std::string>& ip, const std::optional<std::string>& firmware_file)
{
    if (!ip || ip->empty() || !firmware_file || firmware_file->empty()) {
        std::printf("Missing arguments for action push_firmware.");
        return 2;
    }
    // A shortened path could name another file; such a path is refused instead.
    if (!path_fits(*firmware_file)) {
        log_color(colour_red, "Firmware file path is too long (%zu characters); nothing was sent.",
                  firmware_file->size());
        return 2;
    }

    FileImage image;
    image.path = *firmware_file;
    Sha256Digest digest{};
    if (!firmware_validate(image, digest))
        return 1;
    if (firmware_push_tftp(*ip, image, true) != 0)
        return 1;
    std::printf("OK\n");
    if (firmware_request_upgrade(*ip, digest, image.size) != 0)
        return 1;
    std::printf("OK\n");
    return 0;
}
