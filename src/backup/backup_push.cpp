#include "backup/backup_push.h"

#include "firmware/file_image.h"
#include "firmware/firmware_push.h"
#include "log/log.h"
#include "transport/backup_put.h"

#include <cstdio>

int backup_push(std::string_view ip, std::span<const std::uint8_t> tar)
{
    if (ip.empty() || tar.empty())
        return 1;
    FileImage image;
    image.size = tar.size();
    image.data.assign(tar.begin(), tar.end());
    if (firmware_push_tftp(ip, image, false) != 0)
        return 1;
    std::printf("%s\tbackup file pushed.\n", "backup");
    if (backup_put(ip) != 0)
        return 1;
    std::printf("%s\tbackup file restore started.\n", "backup");
    log_color(colour_green, "File restored.");
    return 0;
}
