#include "mzsimple/mzsimple.h"
#include "mzsimple/zip_peers.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// Written by Python's zipfile: a deflated file, a stored one, a directory
// marked by its name, one marked only by its DOS attribute, and a name
// written with a Windows separator.
const char* const peer_archive = R"(
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    z.writestr('tool.txt', '{"tool_name":"kelpu-cli"}' * 20, zipfile.ZIP_DEFLATED)
    z.writestr('configs/', b'')
    z.writestr('systemconfig.tar', bytes(range(256)) * 8, zipfile.ZIP_STORED)
    flagged = zipfile.ZipInfo('Folder')
    flagged.external_attr = 0x10
    z.writestr(flagged, b'')
    z.writestr('win\\views0.tar', b'view', zipfile.ZIP_DEFLATED)
)";

std::vector<std::uint8_t> system_config()
{
    std::vector<std::uint8_t> bytes;
    for (int copy = 0; copy < 8; ++copy) {
        for (int b = 0; b < 256; ++b) {
            bytes.push_back(static_cast<std::uint8_t>(b));
        }
    }
    return bytes;
}

class MzsimpleRead : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = dir.file("peer.zip");
        python_zip_run(peer_archive, path);
        zip = mzsimple_open(path, 0, 'r');
        ASSERT_TRUE(zip);
    }
    ScratchDir dir;
    std::string path;
    std::unique_ptr<ZipArchive> zip;
};

} // namespace

TEST_F(MzsimpleRead, EnumeratesInArchiveOrder)
{
    ASSERT_EQ(mzsimple_entries_total(*zip), 5);
    const std::vector<std::string> names = {"tool.txt", "configs/", "systemconfig.tar", "Folder", "win/views0.tar"};
    const std::vector<int> directories = {0, 1, 0, 1, 0};
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(mzsimple_entry_open_index(*zip, i), 0);
        EXPECT_EQ(mzsimple_entry_name(*zip), names[i]);
        EXPECT_EQ(mzsimple_entry_isdir(*zip), directories[i]) << names[i];
        EXPECT_EQ(mzsimple_entry_close(*zip), 0);
    }
    EXPECT_EQ(mzsimple_entry_open_index(*zip, 5), -1);
    EXPECT_EQ(mzsimple_entry_open_index(*zip, -1), -1);
}

TEST_F(MzsimpleRead, ReadsEntriesWholeOrIntoABuffer)
{
    ASSERT_EQ(mzsimple_entry_open(*zip, "systemconfig.tar"), 0);
    EXPECT_EQ(mzsimple_entry_size(*zip), 2048u);
    EXPECT_EQ(mzsimple_entry_read(*zip), system_config());

    std::vector<std::uint8_t> buffer(2048);
    ASSERT_EQ(mzsimple_entry_read_into(*zip, buffer), 2048);
    EXPECT_EQ(buffer, system_config());
    std::vector<std::uint8_t> small(2047);
    EXPECT_EQ(mzsimple_entry_read_into(*zip, small), -1);

    ASSERT_EQ(mzsimple_entry_open(*zip, "tool.txt"), 0);
    const auto tool = mzsimple_entry_read(*zip);
    ASSERT_TRUE(tool);
    EXPECT_EQ(tool->size(), 25u * 20);
    EXPECT_EQ(std::string(tool->begin(), tool->begin() + 25), R"({"tool_name":"kelpu-cli"})");

    ASSERT_EQ(mzsimple_entry_open(*zip, "configs/"), 0);
    EXPECT_FALSE(mzsimple_entry_read(*zip));
    EXPECT_EQ(mzsimple_entry_read_into(*zip, buffer), -1);
}

TEST_F(MzsimpleRead, FindsNamesIgnoringLetterCase)
{
    ASSERT_EQ(mzsimple_entry_open(*zip, "TOOL.TXT"), 0);
    EXPECT_EQ(mzsimple_entry_name(*zip), "tool.txt");
    ASSERT_EQ(mzsimple_entry_open(*zip, "WIN\\Views0.TAR"), 0);
    EXPECT_EQ(mzsimple_entry_name(*zip), "win/views0.tar");
    EXPECT_EQ(mzsimple_entry_read(*zip), std::vector<std::uint8_t>({'v', 'i', 'e', 'w'}));

    // A name that is not there leaves no entry current.
    EXPECT_EQ(mzsimple_entry_open(*zip, "tool.tx"), -1);
    EXPECT_EQ(mzsimple_entry_open(*zip, "views0.tar"), -1);
    EXPECT_EQ(mzsimple_entry_name(*zip), std::nullopt);
    EXPECT_EQ(mzsimple_entry_isdir(*zip), -1);
    EXPECT_EQ(mzsimple_entry_size(*zip), 0u);
    EXPECT_FALSE(mzsimple_entry_read(*zip));
}

TEST_F(MzsimpleRead, RefusesWritingToAnArchiveOpenForReading)
{
    ASSERT_EQ(mzsimple_entry_open(*zip, "tool.txt"), 0);
    EXPECT_EQ(mzsimple_entry_write(*zip, "more"), -1);
    EXPECT_EQ(mzsimple_close(std::move(zip)), 0);
    EXPECT_EQ(python_zip_entries(path).size(), 5u);
}

TEST(MzsimpleOpen, FilesThatAreNotZipArchivesGiveNone)
{
    ScratchDir dir;
    write_file(dir.file("text.zip"), {'n', 'o', 't', ' ', 'a', ' ', 'z', 'i', 'p', '\n'});
    write_file(dir.file("empty.zip"), {});
    std::vector<std::uint8_t> tar(1024, 0);
    std::copy_n("systemconfig.bin", 16, tar.begin());
    write_file(dir.file("config.tar"), tar);
    for (const char* name : {"text.zip", "empty.zip", "config.tar", "absent.zip"}) {
        EXPECT_FALSE(mzsimple_open(dir.file(name), 0, 'r')) << name;
        EXPECT_FALSE(mzsimple_open(dir.file(name), 0, 'a')) << name;
    }
}

TEST(MzsimpleOpen, DamagedEntryIsNotTakenForData)
{
    ScratchDir dir;
    const std::string path = dir.file("damaged.zip");
    python_zip_run("with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                   "    z.writestr('good.txt', b'fine', zipfile.ZIP_STORED)\n"
                   "    z.writestr('bad.tar', b'Q' * 1000, zipfile.ZIP_STORED)\n",
                   path);
    std::vector<std::uint8_t> bytes = file_bytes(path);
    const std::vector<std::uint8_t> stored(1000, 'Q');
    const auto data = std::search(bytes.begin(), bytes.end(), stored.begin(), stored.end());
    ASSERT_NE(data, bytes.end());
    data[500] = 'R';
    write_file(path, bytes);

    auto zip = mzsimple_open(path, 0, 'r');
    ASSERT_TRUE(zip);
    ASSERT_EQ(mzsimple_entry_open(*zip, "bad.tar"), 0);
    EXPECT_FALSE(mzsimple_entry_read(*zip));
    std::vector<std::uint8_t> buffer(1000);
    EXPECT_EQ(mzsimple_entry_read_into(*zip, buffer), -1);
    ASSERT_EQ(mzsimple_entry_open(*zip, "good.txt"), 0);
    EXPECT_EQ(mzsimple_entry_read(*zip), std::vector<std::uint8_t>({'f', 'i', 'n', 'e'}));
}

TEST(MzsimpleRoundTrip, FullSizeBackupReadsBackByNameAndPosition)
{
    ScratchDir dir;
    const std::string path = dir.file("full.zip");
    const std::vector<std::uint8_t> flash = pattern_bytes(2 * 1024 * 1024);
    auto zip = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(zip);
    ASSERT_EQ(mzsimple_entry_open(*zip, "flashfs.bin"), 0);
    ASSERT_EQ(mzsimple_entry_write(*zip, flash), 0);
    ASSERT_EQ(mzsimple_entry_close(*zip), 0);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(mzsimple_entry_open(*zip, "config" + std::to_string(i) + ".tar"), 0);
        ASSERT_EQ(mzsimple_entry_write(*zip, pattern_bytes(1024 + static_cast<std::size_t>(i))), 0);
        ASSERT_EQ(mzsimple_entry_close(*zip), 0);
    }
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);
    EXPECT_EQ(unzip_test(path), 0);

    auto reread = mzsimple_open(path, 0, 'r');
    ASSERT_TRUE(reread);
    ASSERT_EQ(mzsimple_entries_total(*reread), 601);
    ASSERT_EQ(mzsimple_entry_open(*reread, "FLASHFS.BIN"), 0);
    EXPECT_EQ(mzsimple_entry_read(*reread), flash);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(mzsimple_entry_open_index(*reread, i + 1), 0);
        EXPECT_EQ(mzsimple_entry_name(*reread), "config" + std::to_string(i) + ".tar");
        EXPECT_EQ(mzsimple_entry_read(*reread), pattern_bytes(1024 + static_cast<std::size_t>(i))) << i;
    }
}
