// The firmware package validator on the bytes of a file: archive, entries,
// their encryption and authentication, digest and information record.
#include "firmware/firmware_info.h"
#include "firmware/firmware_load.h"

#include "quiet_stdout.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return quiet_stdout();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> package(data, data + size);
    FileImage image;
    std::optional<std::vector<std::uint8_t>> digest;
    Sha256 context = sha256_start();
    if (firmware_package_unpack(package, image, digest, context) == 0)
        firmware_check_info(image.data);
    // The same bytes as a raw image.
    firmware_check_info(package);
    return 0;
}
