// Archives written by the layer, checked by GNU tar and Python's tarfile.

#include "support/run_process.h"
#include "tar/tar.h"
#include "tar_test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string system_config = "/etc/config/system/systemconfig.bin";

Bytes memory_archive(const std::string& name, const Bytes& data)
{
    TarStream tar;
    EXPECT_EQ(tar_open_memory_writer(tar), TAR_SUCCESS);
    EXPECT_EQ(tar_write_file_header(tar, name, static_cast<std::uint32_t>(data.size())), TAR_SUCCESS);
    if (!data.empty()) {
        EXPECT_EQ(tar_write_data(tar, data.data(), static_cast<std::uint32_t>(data.size())), TAR_SUCCESS);
    }
    EXPECT_EQ(tar_finalize(tar), TAR_SUCCESS);
    EXPECT_EQ(tar.pos, tar.buffer.size());
    return std::move(tar.buffer);
}

// The same member through the file kind, its data in uneven pieces.
void file_archive(const std::filesystem::path& path, const std::string& name, const Bytes& data)
{
    TarStream tar;
    ASSERT_EQ(tar_open_file(tar, path.string(), "w"), TAR_SUCCESS);
    ASSERT_EQ(tar_write_file_header(tar, name, static_cast<std::uint32_t>(data.size())), TAR_SUCCESS);
    for (std::size_t at = 0; at < data.size(); at += 1000) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(1000, data.size() - at));
        ASSERT_EQ(tar_write_data(tar, data.data() + at, n), TAR_SUCCESS);
    }
    ASSERT_EQ(tar_finalize(tar), TAR_SUCCESS);
    ASSERT_EQ(tar_close(tar), TAR_SUCCESS);
}

std::string field(const Bytes& archive, std::size_t offset, std::size_t width)
{
    return std::string(archive.begin() + offset, archive.begin() + offset + width);
}

TEST(TarWrite, ConfigurationMemberIsReadByGnuTarAndPython)
{
    const ScratchDir dir;
    const Bytes data = pattern_bytes(10912, 1);
    write_file(dir.path / "memory.tar", memory_archive(system_config, data));
    file_archive(dir.path / "file.tar", system_config, data);
    const Bytes archive = read_file(dir.path / "file.tar");
    EXPECT_EQ(read_file(dir.path / "memory.tar"), archive);

    ASSERT_EQ(archive.size(), 512u + 22 * 512 + 1024);
    EXPECT_EQ(field(archive, 100, 8), std::string("664\0\0\0\0\0", 8));
    EXPECT_EQ(field(archive, 108, 8), std::string("0\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(field(archive, 124, 12), std::string("25240\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(field(archive, 136, 12), std::string("0\0\0\0\0\0\0\0\0\0\0\0", 12));
    EXPECT_EQ(field(archive, 154, 3), std::string("\0 0", 3));

    const ProcessResult list = run_process({"tar", "-tvf", (dir.path / "file.tar").string()});
    ASSERT_EQ(list.exit_code, 0) << list.err;
    EXPECT_NE(list.out.find("-rw-rw-r-- 0/0"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("10912 1970-01-01 00:00 " + system_config), std::string::npos) << list.out;

    for (const char* name : {"memory.tar", "file.tar"}) {
        const ProcessResult extract = run_process({"tar", "-xf", (dir.path / name).string(), "-C", dir.path.string()});
        ASSERT_EQ(extract.exit_code, 0) << extract.err;
        EXPECT_EQ(read_file(dir.path / ("." + system_config)), data);
        std::filesystem::remove_all(dir.path / "etc");
    }

    const ProcessResult python = run_process(
        {"python3", "-c",
         "import sys, tarfile\n"
         "with tarfile.open(sys.argv[1]) as t:\n"
         "    [m] = t.getmembers()\n"
         "    print(m.name, oct(m.mode), m.uid, m.size, m.mtime, m.isreg(), flush=True)\n"
         "    sys.stdout.buffer.write(t.extractfile(m).read())\n",
         (dir.path / "memory.tar").string()});
    ASSERT_EQ(python.exit_code, 0) << python.err;
    const std::string expected_line = system_config + " 0o664 0 10912 0 True\n";
    EXPECT_EQ(python.out.substr(0, expected_line.size()), expected_line);
    EXPECT_EQ(python.out.substr(expected_line.size()), std::string(data.begin(), data.end()));
}

TEST(TarWrite, DataIsPaddedToWholeBlocksAndFollowedByTheEndMarker)
{
    for (const std::size_t size : {0u, 1u, 511u, 512u, 513u}) {
        const Bytes data = pattern_bytes(size, 2);
        const Bytes archive = memory_archive("m", data);
        const std::size_t padded = (size + 511) / 512 * 512;
        ASSERT_EQ(archive.size(), 512 + padded + 1024) << size;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), archive.begin() + 512));
        EXPECT_TRUE(std::all_of(archive.begin() + 512 + size, archive.end(), [](auto b) { return b == 0; }));

        TarStream tar;
        ASSERT_EQ(tar_open_memory_reader(tar, archive), TAR_SUCCESS);
        TarHeader header;
        ASSERT_EQ(tar_find(tar, "m", &header), TAR_SUCCESS);
        EXPECT_EQ(header.size, size);
        EXPECT_EQ(header.type, '0');
    }
}

TEST(TarWrite, RefusesWhatWouldMakeAWrongArchive)
{
    TarStream tar;
    tar_open_memory_writer(tar);
    EXPECT_EQ(tar_write_file_header(tar, std::string(100, 'n'), 1), TAR_FAILURE);
    EXPECT_EQ(tar_write_header(tar, TarHeader{0664, 010000000, 1, 0, '0', "n", {}}), TAR_FAILURE);
    EXPECT_EQ(tar.pos, 0u);

    ASSERT_EQ(tar_write_file_header(tar, std::string(99, 'n'), 4), TAR_SUCCESS);
    const Bytes data = pattern_bytes(5, 3);
    EXPECT_EQ(tar_write_data(tar, data.data(), 5), TAR_FAILURE);
    EXPECT_EQ(tar_finalize(tar), TAR_FAILURE);
    EXPECT_EQ(tar_write_dir_header(tar, "d/"), TAR_FAILURE);
    EXPECT_EQ(tar.pos, 512u);
    EXPECT_EQ(tar_write_data(tar, data.data(), 4), TAR_SUCCESS);
    EXPECT_EQ(tar_write_dir_header(tar, "d/"), TAR_SUCCESS);
    EXPECT_EQ(tar_finalize(tar), TAR_SUCCESS);

    const ScratchDir dir;
    write_file(dir.path / "dir.tar", tar.buffer);
    const ProcessResult list = run_process({"tar", "-tvf", (dir.path / "dir.tar").string()});
    EXPECT_NE(list.out.find("drwxrwxr-x 0/0"), std::string::npos) << list.out << list.err;
}

TEST(TarWrite, AFileThatCannotBeFlushedFailsAtClose)
{
    TarStream tar;
    ASSERT_EQ(tar_open_file(tar, "/dev/full", "w"), TAR_SUCCESS);
    ASSERT_EQ(tar_write_file_header(tar, "x", 0), TAR_SUCCESS);
    ASSERT_EQ(tar_finalize(tar), TAR_SUCCESS); // still in the stdio buffer
    EXPECT_EQ(tar_close(tar), TAR_WRITE_FAIL);
}

} // namespace
