#pragma once
// One decoded TAR header: the Seventh Edition layout, no magic, no version.

#include <cstdint>
#include <string>

struct TarHeader {
    std::uint32_t mode = 0;  // permission bits: 0664 for files, 0775 for directories
    std::uint32_t owner = 0;
    std::uint32_t size = 0;  // member data length in bytes
    std::uint32_t mtime = 0; // seconds since 1970-01-01 UTC
    char type = 0;           // '0' regular file, '5' directory
    // The field holds 100 bytes. Read: the text up to the first NUL, or all
    // 100 bytes when there is none. Written: at most 99 bytes, NUL-terminated.
    std::string name;
    std::string linkname;
};
