#include "firmware/firmware_input.h"

#include "firmware/file_read.h"
#include "firmware/firmware_load.h"
#include "log/log.h"

#include <cstdio>

int firmware_read_input(const std::string& path, std::vector<std::uint8_t>& bytes, std::uint64_t limit)
{
    switch (file_read_append(path, bytes, limit)) {
    case FileReadResult::done:
        return 0;
    case FileReadResult::out_of_memory:
        std::printf("memory error\n");
        return -2;
    case FileReadResult::not_regular:
        log_color(colour_red, "Firmware file %s is not a regular file.", path.c_str());
        return firmware_input_refused;
    case FileReadResult::too_large:
        log_color(colour_red, "Firmware file %s is larger than any firmware file can be (at most %llu bytes).",
                  path.c_str(), static_cast<unsigned long long>(limit));
        return firmware_input_refused;
    }
    return firmware_input_refused;
}
