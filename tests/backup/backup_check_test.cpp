// Judging a configuration TAR as the controller hands it out, and naming the
// backup archive.
#include "action/backup_archive_name.h"
#include "backup/backup.h"
#include "tar/tar.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

std::vector<std::uint8_t> tar_of(const std::vector<std::pair<std::string, std::string>>& members)
{
    TarStream tar;
    tar_open_memory_writer(tar);
    for (const auto& [name, data] : members) {
        tar_write_file_header(tar, name, static_cast<std::uint32_t>(data.size()));
        tar_write_data(tar, data.data(), static_cast<std::uint32_t>(data.size()));
    }
    tar_finalize(tar);
    return std::move(tar.buffer);
}

int check(std::vector<std::uint8_t> bytes, BackupRecord& record)
{
    record.size = bytes.size();
    record.data = std::move(bytes);
    return backup_check(record);
}

int check(std::vector<std::uint8_t> bytes)
{
    BackupRecord record;
    return check(std::move(bytes), record);
}

const std::string identity = R"({"model_name": "ZANTOR-3", "firmware_version": 2, "y": ["mac", "m"],
    "x": {"serial_number": "ZT3-1"}, "mac": "00:1E:C0:00:00:01", "z": "firmware_version"})";

TEST(BackupCheck, TakesAFileWithItsStatusAndTheStringIdentityMembers)
{
    BackupRecord record;
    EXPECT_EQ(check(tar_of({{"/etc/config/dali/dali1.bin", "abc"}, {"status.txt", identity}}), record), 0);
    EXPECT_EQ(record.model_name, "ZANTOR-3");
    // A number where a text belongs lets no later string pass for it.
    EXPECT_FALSE(record.firmware_version);
    EXPECT_EQ(record.serial_number, "ZT3-1");
    EXPECT_EQ(record.mac, "00:1E:C0:00:00:01");
    backup_free(record);
    EXPECT_FALSE(record.model_name || record.serial_number || record.mac);
    EXPECT_FALSE(record.data.empty());
}

TEST(BackupCheck, RefusesWhatIsNotAConfigurationFile)
{
    EXPECT_EQ(check({}), backup_check_empty);
    EXPECT_EQ(check(tar_of({{"/etc/config/dali/dali1.bin", "abc"}})), backup_check_no_status);
    EXPECT_EQ(check(tar_of({{"status.txt", identity}})), backup_check_not_present);
    // An empty status.txt is reported but does not decide alone.
    EXPECT_EQ(check(tar_of({{"f", "1"}, {"status.txt", ""}})), 0);
    EXPECT_EQ(check(tar_of({{"status.txt", ""}})), backup_check_not_present);
    const std::string page = "<html><body>404 Not Found</body></html>" + std::string(600, ' ');
    EXPECT_EQ(check(std::vector<std::uint8_t>(page.begin(), page.end())), backup_check_no_status);

    std::vector<std::uint8_t> bytes = tar_of({{"f", "1"}, {"status.txt", identity}, {"g", "2"}});
    const std::vector<std::uint8_t> sound = bytes;
    bytes[4 * 512 + 10] ^= 1; // the third header, after both needed members
    EXPECT_EQ(check(bytes), TAR_BAD_CHECKSUM);
    bytes = sound;
    bytes.resize(bytes.size() - 1024); // no end marker: still whole
    EXPECT_EQ(check(bytes), 0);
    bytes.resize(bytes.size() - 100); // cut inside the last member's data
    EXPECT_EQ(check(bytes), TAR_READ_FAIL);
}

TEST(BackupArchiveName, HoldsTheSanitisedAddressAndTheLocalTime)
{
    std::tm when{};
    when.tm_year = 124, when.tm_mon = 2, when.tm_mday = 7, when.tm_hour = 9, when.tm_min = 5, when.tm_sec = 2;
    EXPECT_EQ(backup_archive_name("192.168.0.5", when), "backup_192.168.0.5_ZANTOR_20240307_090502.zip");
    EXPECT_EQ(backup_archive_name("10.0.0.1:8080", when), "backup_10.0.0.1_8080_ZANTOR_20240307_090502.zip");
    EXPECT_EQ(backup_address_sanitise("a<b>c:d\"e/f\\g|h?i*j.k-l"), "a_b_c_d_e_f_g_h_i_j.k-l");
    EXPECT_EQ(backup_archive_name("h", std::tm{}), "backup_h_ZANTOR_19000100_000000.zip");
}

} // namespace
