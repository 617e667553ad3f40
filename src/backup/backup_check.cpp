#include "backup/backup.h"
#include "backup/status_identity.h"

#include "log/log.h"
#include "log/printable.h"
#include "tar/tar.h"

#include <cstdio>
#include <string>

namespace {

struct Listing {
    int members = 0; // members stepped over
    int error = TAR_SUCCESS;
};

// Prints every member until the end of the archive. An archive that stops
// right after a member, without its two zero blocks, is complete all the
// same; any other stop means the TAR is damaged.
Listing list_members(TarStream& tar, std::size_t length)
{
    std::printf("%s\tbackup file contains: \r\n", "backup");
    Listing listing;
    for (;;) {
        TarHeader header;
        int result = tar_read_header(tar, header);
        if (result == TAR_NULL_RECORD || (result == TAR_READ_FAIL && tar.last_header == length))
            return listing;
        if (result == TAR_SUCCESS) {
            std::printf("\t%s (%d bytes)\r\n", printable(header.name).c_str(), static_cast<int>(header.size));
            result = tar_next(tar);
        }
        if (result != TAR_SUCCESS) {
            std::printf("\tfile error %d.\r\n", result);
            listing.error = result;
            return listing;
        }
        ++listing.members;
    }
}

// A damaged TAR is never kept; a sound one needs the file beside "status.txt".
int verdict(const Listing& listing)
{
    if (listing.error != TAR_SUCCESS)
        return listing.error;
    return listing.members < 2 ? backup_check_not_present : 0;
}

void print_identity(const BackupRecord& record)
{
    auto text = [](const std::optional<std::string>& value) { return value ? printable(*value) : "(null)"; };
    std::printf("%s\tmodel name: %s\r\n", "backup", text(record.model_name).c_str());
    std::printf("%s\tfirmware version: %s\r\n", "backup", text(record.firmware_version).c_str());
    std::printf("%s\tserial number: %s\r\n", "backup", text(record.serial_number).c_str());
    std::printf("%s\tmac: %s\r\n", "backup", text(record.mac).c_str());
}

} // namespace

int backup_check(BackupRecord& record)
{
    if (record.data.empty())
        return backup_check_empty;
    TarStream tar;
    int result = tar_open_memory_reader(tar, record.data);
    if (result != TAR_SUCCESS)
        return result;
    const Listing listing = list_members(tar, record.data.size());

    TarHeader status;
    if (tar_find(tar, "status.txt", &status) != TAR_SUCCESS) {
        std::printf("%s\terror status.txt file not found.\r\n", "backup");
        log_color(colour_red, "Error, status.txt file not found.");
        return backup_check_no_status;
    }
    if (status.size == 0) {
        std::printf("%s\terror status.txt file size error.\r\n", "backup");
        log_color(colour_red, "Error, status.txt file size error.");
        return verdict(listing);
    }
    // A size beyond what arrived cannot be read; it is not allocated either.
    std::string text;
    if (status.size <= record.data.size()) {
        text.resize(status.size);
        result = tar_read_data(tar, text.data(), status.size);
    } else {
        result = TAR_READ_FAIL;
    }
    if (result != TAR_SUCCESS) {
        std::printf("%s\terror reading status.txt.\r\n", "backup");
        log_color(colour_red, "Error reading status.txt.");
        return verdict(listing);
    }
    status_identity_read(text.c_str(), record);
    print_identity(record);
    return verdict(listing);
}
