// Uploads a file as "flashraw.bin" with the utility's firmware upload and
// nothing else (no validation, no safety backup), so that the upload alone
// can be timed against another TFTP client. Exit status 0 on success.
//
// Usage: tftp_upload_bench FILE HOST:PORT

#include "firmware/firmware_push.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE HOST:PORT\n", argv[0]);
        return 2;
    }
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(argv[1], error);
    std::ifstream in(argv[1], std::ios::binary);
    FileImage image;
    image.path = argv[1];
    image.data.resize(error ? 0 : size);
    image.size = image.data.size();
    if (error || size == 0 || !in.read(reinterpret_cast<char*>(image.data.data()), static_cast<std::streamsize>(size))) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    return firmware_push_tftp(argv[2], image, false);
}
