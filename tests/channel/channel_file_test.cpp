// Channel and inputs files between TARs and the image: the TARs here are
// written and read with the TAR layer (tested on its own) and checked
// against GNU tar's view where it matters.
#include "channel/channel_file.h"
#include "channel/crc16.h"
#include "tar/tar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

std::vector<std::uint8_t> tar_with(const std::string& name, const std::vector<std::uint8_t>& data)
{
    TarStream tar;
    tar_open_memory_writer(tar);
    tar_write_file_header(tar, name, static_cast<std::uint32_t>(data.size()));
    if (!data.empty())
        tar_write_data(tar, data.data(), static_cast<std::uint32_t>(data.size()));
    tar_write_file_header(tar, "status.txt", 2);
    tar_write_data(tar, "{}", 2);
    tar_finalize(tar);
    tar.buffer.resize(tar.pos);
    return tar.buffer;
}

BackupRecord backup_of(const char* firmware, std::vector<std::uint8_t> tar)
{
    BackupRecord backup;
    backup.size = tar.size();
    backup.data = std::move(tar);
    backup.firmware_version = firmware;
    return backup;
}

std::vector<std::uint8_t> counting(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i % 251 + 1);
    return bytes;
}

struct Member {
    std::string name;
    std::vector<std::uint8_t> data;
};

std::vector<Member> members_of(const std::vector<std::uint8_t>& archive)
{
    std::vector<Member> members;
    TarStream tar;
    tar_open_memory_reader(tar, archive);
    TarHeader header;
    while (tar_read_header(tar, header) == TAR_SUCCESS) {
        Member member{header.name, std::vector<std::uint8_t>(header.size)};
        if (header.size > 0 && tar_read_data(tar, member.data.data(), header.size) != TAR_SUCCESS)
            break;
        members.push_back(std::move(member));
        if (tar_next(tar) != TAR_SUCCESS)
            break;
    }
    return members;
}

TEST(ReadDaliFile, CopiesTheMemberCutOrPaddedToTheLargestFormat)
{
    auto image = std::make_unique<ChannelConfigImage>();
    image->channel.fill(0xEE);
    const auto small = counting(7072);
    ASSERT_EQ(read_dali_file(backup_of("2.2.4", tar_with("/etc/config/dali/dali3.bin", small)), 3, *image), 0);
    EXPECT_TRUE(std::equal(small.begin(), small.end(), image->channel.begin()));
    EXPECT_TRUE(std::all_of(image->channel.begin() + 7072, image->channel.end(), [](int b) { return b == 0; }));

    const auto large = counting(12000);
    ASSERT_EQ(read_dali_file(backup_of("1.0.0", tar_with("/etc/config/dali/dali1.bin", large)), 1, *image), 0);
    EXPECT_TRUE(std::equal(image->channel.begin(), image->channel.end(), large.begin()));
}

TEST(ReadDaliFile, MissingEmptyOrWrongMembersFailAndLeaveTheRegionZero)
{
    auto image = std::make_unique<ChannelConfigImage>();
    const auto file = counting(7072);
    struct Case { BackupRecord backup; unsigned channel; const char* message; };
    Case cases[] = {
        {backup_of("2.2.4", tar_with("/etc/config/dali/dali2.bin", file)), 1,
         "backup\terror '/etc/config/dali/dali1.bin' file not found.\r\n"},
        {backup_of("2.2.4", tar_with("/etc/config/dali/dali1.bin", {})), 1,
         "backup\terror '/etc/config/dali/dali1.bin' file size error.\r\n"},
        {backup_of("2.2.4", std::vector<std::uint8_t>(1024, 0)), 1,
         "backup\terror '/etc/config/dali/dali1.bin' file not found.\r\n"},
        {backup_of("2.2.4", {}), 1, ""},
        {backup_of("2.2.4", tar_with("/etc/config/dali/dali1.bin", file)), 0, ""},
    };
    for (Case& c : cases) {
        image->channel.fill(0xEE);
        testing::internal::CaptureStdout();
        EXPECT_EQ(read_dali_file(c.backup, c.channel, *image), 1);
        // The tagged line, then the log's own line (which also reaches
        // standard output).
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out.substr(0, std::string(c.message).size()), c.message);
        EXPECT_EQ(out.find("Error '") != std::string::npos, *c.message != '\0');
        if (!c.backup.data.empty() && c.channel != 0) {
            EXPECT_TRUE(std::all_of(image->channel.begin(), image->channel.end(), [](int b) { return b == 0; }));
        }
    }
}

TEST(WriteDaliFile, OneSealedMemberOfTheFormatsSize)
{
    struct Case { const char* firmware; std::size_t size; std::uint32_t version; };
    for (Case c : {Case{"1.2.9", 11168, 1}, Case{"1.3.0", 11168, 1}, Case{"1.4.7", 10912, 2}, Case{"2.2.4", 7072, 3}}) {
        SCOPED_TRACE(c.firmware);
        auto image = std::make_unique<ChannelConfigImage>();
        const auto bytes = counting(image->channel.size());
        std::copy(bytes.begin(), bytes.end(), image->channel.begin());
        TarStream tar;
        tar_open_memory_writer(tar);
        ASSERT_EQ(write_dali_file(tar, backup_of(c.firmware, {}), 2, *image), 0);
        tar_finalize(tar);
        tar.buffer.resize(tar.pos);
        EXPECT_EQ(tar.buffer.size(), 512 + (c.size + 511) / 512 * 512 + 1024);

        const std::vector<Member> members = members_of(tar.buffer);
        ASSERT_EQ(members.size(), 1u);
        EXPECT_EQ(members[0].name, "/etc/config/dali/dali2.bin");
        const std::vector<std::uint8_t>& file = members[0].data;
        ASSERT_EQ(file.size(), c.size);
        // Size and revision fields as read; version set; checksum over the
        // file with a zero crc field.
        EXPECT_TRUE(std::equal(file.begin(), file.begin() + 4, bytes.begin()));
        EXPECT_TRUE(std::equal(file.begin() + 12, file.end(), bytes.begin() + 12));
        EXPECT_EQ(file[8] | file[9] << 8 | file[10] << 16 | file[11] << 24, static_cast<int>(c.version));
        std::vector<std::uint8_t> check = file;
        std::fill_n(check.begin() + 4, 4, 0);
        EXPECT_EQ(file[4] | file[5] << 8, crc16(check));
        EXPECT_EQ(file[6] | file[7] << 8, 0);
    }
}

TEST(WriteDaliFile, RefusesWithoutFirmwareVersionOrChannel)
{
    auto image = std::make_unique<ChannelConfigImage>();
    TarStream tar;
    tar_open_memory_writer(tar);
    EXPECT_EQ(write_dali_file(tar, BackupRecord{}, 1, *image), 1);
    EXPECT_EQ(write_dali_file(tar, backup_of("2.2.4", {}), 0, *image), 1);
    EXPECT_EQ(write_cd_file(tar, BackupRecord{}, 1, *image), 1);
    EXPECT_EQ(tar.pos, 0u);
}

TEST(WriteCdFile, FormatThreeOnly)
{
    auto image = std::make_unique<ChannelConfigImage>();
    TarStream tar;
    tar_open_memory_writer(tar);
    testing::internal::CaptureStdout();
    EXPECT_EQ(write_cd_file(tar, backup_of("1.4.7", {}), 4, *image), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "backup\terror version 1.4.7 not supported.\r\n");
    EXPECT_EQ(tar.pos, 0u);

    image->inputs[16] = 9;
    ASSERT_EQ(write_cd_file(tar, backup_of("1.5.0", {}), 4, *image), 0);
    tar_finalize(tar);
    tar.buffer.resize(tar.pos);
    const std::vector<Member> members = members_of(tar.buffer);
    ASSERT_EQ(members.size(), 1u);
    EXPECT_EQ(members[0].name, "/etc/config/dali/cd4.bin");
    const std::vector<std::uint8_t>& file = members[0].data;
    ASSERT_EQ(file.size(), 9564u);
    EXPECT_EQ(file[0] | file[1] << 8, 0);     // size field as built: nothing
    EXPECT_EQ(file[8], 3);                     // version
    EXPECT_EQ(file[12], 0);                    // revision
    EXPECT_EQ(file[16], 9);
    std::vector<std::uint8_t> check = file;
    std::fill_n(check.begin() + 4, 4, 0);
    EXPECT_EQ(file[4] | file[5] << 8, crc16(check));
}

} // namespace
