#include "channel/channel_layout.h"
#include "channel/config_format.h"
#include "channel/crc16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(ConfigFormat, ChannelFormatFollowsTheLastVersionAtOrBelowTheFirmware) {
    struct Case { const char* version; unsigned format; };
    for (Case c : {Case{"0.9", 0}, Case{"1.0.0", 0}, Case{"1.2.9", 0}, Case{"1.3.0", 1}, Case{"1.3.1", 2},
                   Case{"1.4.7", 2}, Case{"1.5.0", 3}, Case{"2.2.4", 3}, Case{"", 0}})
        EXPECT_EQ(dali_format_for_firmware(c.version), c.format) << c.version;
}

TEST(ConfigFormat, InputsFormatHasItsOwnTable) {
    struct Case { const char* version; unsigned format; };
    for (Case c : {Case{"0.9", 0}, Case{"1.3.0", 0}, Case{"1.3.1", 2}, Case{"1.5.0", 2}, Case{"2.2.3", 2},
                   Case{"2.2.4", 3}, Case{"3.0.0", 3}})
        EXPECT_EQ(cd_format_for_firmware(c.version), c.format) << c.version;
}

TEST(ConfigFormat, VersionsCompareAsBytesNotAsNumbers) {
    // "1.10.0" sorts between "1.0.0" and "1.3.0".
    EXPECT_EQ(dali_format_for_firmware("1.10.0"), 0u);
    EXPECT_EQ(cd_format_for_firmware("1.10.0"), 0u);
    // A byte above 0x7F must not count as negative and sort first.
    EXPECT_EQ(dali_format_for_firmware("\xC3" "1.0"), 3u);
}

TEST(Crc16, MatchesTheMcrf4xxCheckValue) {
    const std::string digits = "123456789";
    std::vector<std::uint8_t> bytes(digits.begin(), digits.end());
    EXPECT_EQ(crc16(bytes), 0x6F91);
    EXPECT_EQ(crc16({}), 0xFFFF);
}

TEST(Crc16, SealCoversTheVersionAndClearsTheUpperHalf) {
    std::vector<std::uint8_t> file(channel_layouts[3].file_size, 0xA5);
    write_u32le(file, header_version_offset, 3);
    seal_config_file(file);
    const std::uint32_t sealed = read_u32le(file, header_crc_offset);
    EXPECT_EQ(sealed >> 16, 0u);

    // The stored checksum is the one of the file with a zero crc field.
    std::vector<std::uint8_t> check = file;
    write_u32le(check, header_crc_offset, 0);
    EXPECT_EQ(sealed, crc16(check));

    write_u32le(file, header_version_offset, 2);
    seal_config_file(file);
    EXPECT_NE(read_u32le(file, header_crc_offset), sealed);
}
