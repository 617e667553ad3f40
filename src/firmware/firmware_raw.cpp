#include "firmware/firmware_input.h"
#include "firmware/firmware_load.h"
#include "log/log.h"

#include <cstdio>

int firmware_prepare_raw(FileImage& image, Sha256& context)
{
    std::printf("Preparing file...\n");
    log_color(colour_black, "Preparing file '%s'.", image.path.c_str());
    if (!context) {
        std::printf("Parameters error.\n");
        return -10;
    }
    const int read = firmware_read_input(image.path, image.data, firmware_image_max_size);
    image.size = image.data.size();
    if (read != 0)
        return read;
    sha256_update(context, image.data);
    return 0;
}
