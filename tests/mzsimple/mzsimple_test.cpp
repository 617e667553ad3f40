// Archives written here are checked by other programs (Python's zipfile,
// Info-ZIP unzip), and archives written by Python are read here.
#include "mzsimple/mzsimple.h"

#include "support/run_process.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/resource.h>

#include <cerrno>
#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct PeerEntry {
    std::string name;
    int method = -1; // 0 stored, 8 deflated
    std::string content;
};

// Debian's interpreter starts at once; a version manager's shim found first
// on PATH can take a second per run.
std::string python()
{
    return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

void python_zip_run(const std::string& script, const std::string& path)
{
    const ProcessResult run = run_process({python(), "-c", "import sys, zipfile\n" + script, path});
    ASSERT_EQ(run.exit_code, 0) << run.err;
}

// Entries in archive order as zipfile reads them, which checks each CRC.
std::vector<PeerEntry> python_zip_entries(const std::string& path)
{
    const ProcessResult run = run_process({python(), "-c", R"(import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    for i in z.infolist():
        print(i.filename, i.compress_type, z.read(i).hex())
)", path});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    std::vector<PeerEntry> entries;
    std::istringstream lines(run.out);
    for (PeerEntry entry; lines >> entry.name >> entry.method;) {
        std::string hex;
        std::getline(lines, hex);
        entry.content.clear();
        for (std::size_t i = 1; i + 1 < hex.size(); i += 2) {
            entry.content.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
        }
        entries.push_back(entry);
    }
    return entries;
}

int unzip_test(const std::string& path)
{
    return run_process({"unzip", "-t", path}).exit_code;
}

std::span<const std::uint8_t> bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void add(ZipArchive& zip, const std::string& name, std::string_view content)
{
    ASSERT_EQ(mzsimple_entry_open(zip, name), 0) << name;
    ASSERT_EQ(mzsimple_entry_write(zip, bytes(content)), 0);
    ASSERT_EQ(mzsimple_entry_close(zip), 0);
}

std::string patterned(std::size_t size)
{
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(static_cast<char>('a' + (i * 7 + i / 251) % 26));
    }
    return text;
}

class Mzsimple : public ::testing::Test {
protected:
    Mzsimple()
    {
        if (::mkdtemp(dir.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
    }
    ~Mzsimple() override { std::filesystem::remove_all(dir); }
    std::string dir = (std::filesystem::temp_directory_path() / "mzsimple-XXXXXX").string();
};

} // namespace

TEST_F(Mzsimple, BackupArchiveIsReadByOtherToolsThenExtended)
{
    const std::string path = dir + "/backup.zip";
    const std::string tar = patterned(20000);
    auto zip = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(zip);
    add(*zip, "tool.txt", R"({"tool_name":"kelpu-cli"})");
    ASSERT_EQ(mzsimple_entry_open(*zip, "systemconfig.tar"), 0);
    ASSERT_EQ(mzsimple_entry_write(*zip, bytes(tar).first(7000)), 0);
    ASSERT_EQ(mzsimple_entry_write(*zip, bytes(tar).subspan(7000)), 0);
    ASSERT_EQ(mzsimple_entry_close(*zip), 0);
    add(*zip, "log.txt", "line\n");
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);

    EXPECT_EQ(unzip_test(path), 0);
    const auto entries = python_zip_entries(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "tool.txt");
    EXPECT_EQ(entries[1].name, "systemconfig.tar");
    EXPECT_EQ(entries[1].content, tar);
    EXPECT_EQ(entries[2].name, "log.txt");

    auto more = mzsimple_open(path, 0, 'a');
    ASSERT_TRUE(more);
    EXPECT_EQ(mzsimple_entry_open(*more, "log.txt"), -1);
    ASSERT_EQ(mzsimple_entry_open(*more, "dir\\flashfs.bin"), 0);
    ASSERT_EQ(mzsimple_entry_write(*more, bytes("flash")), 0);
    ASSERT_EQ(mzsimple_close(std::move(more)), 0); // finishes the open entry

    auto reread = mzsimple_open(path, 0, 'r');
    ASSERT_TRUE(reread);
    ASSERT_EQ(mzsimple_entries_total(*reread), 4);
    ASSERT_EQ(mzsimple_entry_open_index(*reread, 3), 0);
    EXPECT_EQ(mzsimple_entry_name(*reread), "dir/flashfs.bin");
    const auto appended = python_zip_entries(path);
    ASSERT_EQ(appended.size(), 4u);
    EXPECT_EQ(appended[3].method, 0);
    EXPECT_EQ(appended[3].content, "flash");
    ASSERT_EQ(mzsimple_entry_open(*reread, "TOOL.TXT"), 0);
    EXPECT_EQ(mzsimple_entry_name(*reread), "tool.txt");
    const auto tool = mzsimple_entry_read(*reread);
    ASSERT_TRUE(tool);
    EXPECT_EQ(std::string(tool->begin(), tool->end()), R"({"tool_name":"kelpu-cli"})");
}

TEST_F(Mzsimple, LevelsStoreOrDeflate)
{
    for (const int level : {11, 15, 0x1B}) {
        EXPECT_FALSE(mzsimple_open(dir + "/refused.zip", level, 'w')) << level;
    }
    EXPECT_FALSE(std::filesystem::exists(dir + "/refused.zip"));
    // Bits above the low four are flags, not part of the level: 0x10 stores.
    for (const int level : {0, -1, 10, 0x10}) {
        const std::string path = dir + "/" + std::to_string(level) + ".zip";
        auto zip = mzsimple_open(path, level, 'w');
        ASSERT_TRUE(zip);
        add(*zip, "data.tar", patterned(5000));
        add(*zip, "empty.tar", "");
        ASSERT_EQ(mzsimple_close(std::move(zip)), 0);
        EXPECT_EQ(unzip_test(path), 0);
        const auto entries = python_zip_entries(path);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].method, (level & 0xF) == 0 ? 0 : 8) << level;
        EXPECT_EQ(entries[0].content, patterned(5000));
        EXPECT_EQ(entries[1].content, "");
    }
}

TEST_F(Mzsimple, ReadsAnArchiveWrittenByPython)
{
    const std::string path = dir + "/peer.zip";
    python_zip_run("with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                   "    z.writestr('configs/', b'')\n"
                   "    flagged = zipfile.ZipInfo('Folder')\n"
                   "    flagged.external_attr = 0x10\n"
                   "    z.writestr(flagged, b'')\n"
                   "    z.writestr('win\\\\views0.tar', b'view' * 100, zipfile.ZIP_DEFLATED)\n",
                   path);
    auto zip = mzsimple_open(path, 0, 'r');
    ASSERT_TRUE(zip);
    ASSERT_EQ(mzsimple_entries_total(*zip), 3);
    const char* names[] = {"configs/", "Folder", "win/views0.tar"};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(mzsimple_entry_open_index(*zip, i), 0);
        EXPECT_EQ(mzsimple_entry_name(*zip), names[i]);
        EXPECT_EQ(mzsimple_entry_isdir(*zip), i < 2 ? 1 : 0) << names[i];
        EXPECT_EQ(mzsimple_entry_read(*zip).has_value(), i == 2);
    }
    EXPECT_EQ(mzsimple_entry_open_index(*zip, 3), -1);
    EXPECT_EQ(mzsimple_entry_isdir(*zip), -1);

    ASSERT_EQ(mzsimple_entry_open(*zip, "WIN\\Views0.TAR"), 0);
    ASSERT_EQ(mzsimple_entry_size(*zip), 400u);
    std::vector<std::uint8_t> buffer(400);
    ASSERT_EQ(mzsimple_entry_read_into(*zip, buffer), 400);
    EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + 8), "viewview");
    buffer.resize(399);
    EXPECT_EQ(mzsimple_entry_read_into(*zip, buffer), -1);
}

TEST_F(Mzsimple, NonArchivesAndDamagedEntriesGiveNothing)
{
    std::ofstream(dir + "/text.zip") << "not a zip\n";
    std::ofstream(dir + "/empty.zip").flush();
    for (const char* name : {"/text.zip", "/empty.zip", "/absent.zip"}) {
        EXPECT_FALSE(mzsimple_open(dir + name, 0, 'r')) << name;
        EXPECT_FALSE(mzsimple_open(dir + name, 0, 'a')) << name;
    }
    const std::string path = dir + "/damaged.zip";
    python_zip_run("with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                   "    z.writestr('bad.tar', b'Q' * 1000)\n"
                   "data = open(sys.argv[1], 'rb').read()\n"
                   "open(sys.argv[1], 'wb').write(data.replace(b'QQQ', b'QRQ', 1))\n",
                   path);
    auto zip = mzsimple_open(path, 0, 'r');
    ASSERT_TRUE(zip);
    ASSERT_EQ(mzsimple_entry_open(*zip, "bad.tar"), 0);
    EXPECT_FALSE(mzsimple_entry_read(*zip));
    std::vector<std::uint8_t> buffer(1000);
    EXPECT_EQ(mzsimple_entry_read_into(*zip, buffer), -1);
}

TEST_F(Mzsimple, CloseReportsWhetherTheFileWasWritten)
{
    auto none = mzsimple_open(dir + "/empty.zip", 6, 'w');
    ASSERT_TRUE(none);
    ASSERT_EQ(mzsimple_close(std::move(none)), 0);
    EXPECT_TRUE(python_zip_entries(dir + "/empty.zip").empty());
    EXPECT_FALSE(mzsimple_open(dir + "/missing/b.zip", 6, 'w'));

    std::filesystem::create_directory(dir + "/gone");
    auto zip = mzsimple_open(dir + "/gone/backup.zip", 6, 'w');
    ASSERT_TRUE(zip);
    add(*zip, "tool.txt", "{}");
    std::filesystem::remove_all(dir + "/gone");
    EXPECT_EQ(mzsimple_close(std::move(zip)), -1);
}

TEST_F(Mzsimple, EntriesThatDeflateCannotShrinkAreStored)
{
    std::vector<std::uint8_t> noise(300000);
    std::uint32_t state = 7;
    for (std::uint8_t& byte : noise) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    const std::string path = dir + "/mixed.zip";
    auto zip = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(zip);
    ASSERT_EQ(mzsimple_entry_add(*zip, "flashfs.bin", noise), 0);
    ASSERT_EQ(mzsimple_entry_add(*zip, "dali1.tar", bytes(patterned(300000))), 0);
    ASSERT_EQ(mzsimple_entry_add(*zip, "tiny.txt", bytes("ab")), 0);
    EXPECT_EQ(mzsimple_entry_add(*zip, "dali1.tar", bytes("again")), -1);
    EXPECT_EQ(mzsimple_entries_total(*zip), 3);
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);
    EXPECT_EQ(unzip_test(path), 0);
    const auto entries = python_zip_entries(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].method, 0);
    EXPECT_EQ(entries[0].content, std::string(noise.begin(), noise.end()));
    EXPECT_EQ(entries[1].method, 8);
    EXPECT_EQ(entries[1].content, patterned(300000));
    EXPECT_EQ(entries[2].method, 0);
    // Deflated, the patterned entry takes a fraction of its size.
    EXPECT_LT(std::filesystem::file_size(path), noise.size() + 100000);
}

TEST_F(Mzsimple, AnArchiveNotClosedOrNotWrittenLeavesTheEarlierFile)
{
    const std::string path = dir + "/backup.zip";
    std::ofstream(path) << "earlier";
    {
        auto zip = mzsimple_open(path, 6, 'w');
        ASSERT_TRUE(zip);
        ASSERT_EQ(mzsimple_entry_add(*zip, "tool.txt", bytes("{}")), 0);
        EXPECT_EQ(std::filesystem::file_size(path), 7u); // dropped without mzsimple_close
    }
    std::ifstream earlier(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(earlier), {}), "earlier");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);

    int error = 0;
    EXPECT_FALSE(mzsimple_open(dir + "/absent/backup.zip", 6, 'w', &error));
    EXPECT_EQ(error, ENOENT);
    // A disk that fills up: files may not grow past 64 KiB for a moment.
    // Once a write failed, the archive takes nothing more and is not put in place.
    auto zip = mzsimple_open(path, 0, 'w');
    ASSERT_TRUE(zip);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit small{65536, limit.rlim_max};
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int added = mzsimple_entry_add(*zip, "big.tar", bytes(patterned(200000)));
    const int closed = mzsimple_close(std::move(zip), &error);
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(added, -1);
    EXPECT_EQ(closed, -1);
    EXPECT_EQ(error, EFBIG);
    EXPECT_EQ(std::filesystem::file_size(path), 7u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}
