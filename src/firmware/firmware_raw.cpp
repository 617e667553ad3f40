#include "firmware/file_read.h"
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
    const FileReadResult read = file_read_append(image.path, image.data);
    image.size = image.data.size();
    if (read == FileReadResult::out_of_memory) {
        std::printf("memory error\n");
        return -2;
    }
    sha256_update(context, image.data);
    return 0;
}
