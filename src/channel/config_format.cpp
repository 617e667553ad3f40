#include "channel/config_format.h"

#include <span>

namespace {

struct FormatRow {
    std::string_view first_version;
    unsigned format;
};

constexpr FormatRow dali_format_table[] = {{"1.0.0", 0}, {"1.3.0", 1}, {"1.3.1", 2}, {"1.5.0", 3}};
constexpr FormatRow cd_format_table[] = {{"1.0.0", 0}, {"1.3.1", 2}, {"2.2.4", 3}};

// The format of the last row whose version is byte-wise <= the firmware's.
// string_view compares with char_traits<char>, which orders bytes as
// unsigned char, so this is the plain byte comparison.
unsigned format_for(std::span<const FormatRow> table, std::string_view firmware_version) {
    unsigned format = 0;
    for (const FormatRow& row : table)
        if (row.first_version <= firmware_version) format = row.format;
    return format;
}

} // namespace

unsigned dali_format_for_firmware(std::string_view firmware_version) {
    return format_for(dali_format_table, firmware_version);
}

unsigned cd_format_for_firmware(std::string_view firmware_version) {
    return format_for(cd_format_table, firmware_version);
}
