// The TAR layer against GNU tar and Python's tarfile: archives it writes are
// read by them, archives they write are read by it, and damaged or cut-off
// input never makes it read outside the bytes it holds.

#include "support/run_process.h"
#include "tar/tar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder, removed with everything in it at the end of the test.
struct ScratchDir {
    ScratchDir()
    {
        std::string name = (std::filesystem::temp_directory_path() / "kelpu_tar_XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path = name;
    }
    ~ScratchDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

// Bytes that differ along the way, so a shifted or cut copy shows.
Bytes pattern_bytes(std::size_t size, unsigned seed)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 131 + seed * 7 + i / 251);
    return bytes;
}

// Exactly the file's bytes, in a heap block of exactly that size.
Bytes read_file(const std::filesystem::path& path)
{
    Bytes bytes(std::filesystem::file_size(path));
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(bytes.data()), std::ssize(bytes));
    return bytes;
}

void write_file(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));
}

const std::string system_config = "/etc/config/system/systemconfig.bin";

Bytes memory_archive(const std::string& name, const Bytes& data)
{
    TarStream tar;
    tar_open_memory_writer(tar);
    EXPECT_EQ(tar_write_file_header(tar, name, static_cast<std::uint32_t>(data.size())), TAR_SUCCESS);
    if (!data.empty()) {
        EXPECT_EQ(tar_write_data(tar, data.data(), static_cast<std::uint32_t>(data.size())), TAR_SUCCESS);
    }
    EXPECT_EQ(tar_finalize(tar), TAR_SUCCESS);
    EXPECT_EQ(tar.pos, tar.buffer.size());
    return std::move(tar.buffer);
}

TEST(TarWrite, ConfigurationMemberIsReadByGnuTarAndPython)
{
    const ScratchDir dir;
    const std::string path = (dir.path / "file.tar").string();
    const Bytes data = pattern_bytes(10912, 1);
    TarStream tar; // the file kind, with the data in uneven pieces
    ASSERT_EQ(tar_open_file(tar, path, "w"), TAR_SUCCESS);
    ASSERT_EQ(tar_write_file_header(tar, system_config, 10912), TAR_SUCCESS);
    for (std::uint32_t at = 0; at < 10912; at += 1000)
        ASSERT_EQ(tar_write_data(tar, data.data() + at, std::min(1000u, 10912 - at)), TAR_SUCCESS);
    ASSERT_EQ(tar_finalize(tar), TAR_SUCCESS);
    ASSERT_EQ(tar_close(tar), TAR_SUCCESS);

    const Bytes archive = read_file(path);
    EXPECT_EQ(memory_archive(system_config, data), archive);
    ASSERT_EQ(archive.size(), 512u + 22 * 512 + 1024);
    const auto text = [&](std::size_t from, std::size_t to) { return std::string(&archive[from], &archive[to]); };
    EXPECT_EQ(text(100, 116), std::string("664\0\0\0\0\0" "0\0\0\0\0\0\0\0", 16));
    EXPECT_EQ(text(124, 148), std::string("25240\0\0\0\0\0\0\0" "0\0\0\0\0\0\0\0\0\0\0\0", 24));
    EXPECT_EQ(text(154, 157), std::string("\0 0", 3));

    const ProcessResult list = run_process({"tar", "-tvf", path});
    EXPECT_NE(list.out.find("-rw-rw-r-- 0/0           10912 1970-01-01 00:00 " + system_config), std::string::npos)
        << list.out << list.err;
    const ProcessResult extract = run_process({"tar", "-xf", path, "-C", dir.path.string()});
    ASSERT_EQ(extract.exit_code, 0) << extract.err;
    EXPECT_EQ(read_file(dir.path / ("." + system_config)), data);

    const ProcessResult python = run_process(
        {"python3", "-c",
         "import sys, tarfile\n"
         "with tarfile.open(sys.argv[1]) as t:\n"
         "    [m] = t.getmembers()\n"
         "    print(m.name, oct(m.mode), m.uid, m.size, m.mtime, m.isreg(), flush=True)\n"
         "    sys.stdout.buffer.write(t.extractfile(m).read())\n",
         path});
    ASSERT_EQ(python.exit_code, 0) << python.err;
    EXPECT_EQ(python.out, system_config + " 0o664 0 10912 0 True\n" + std::string(data.begin(), data.end()));
}

TEST(TarWrite, DataIsPaddedToWholeBlocksAndFollowedByTheEndMarker)
{
    for (const std::size_t size : {0u, 1u, 511u, 512u, 513u}) {
        const Bytes data = pattern_bytes(size, 2);
        const Bytes archive = memory_archive("m", data);
        ASSERT_EQ(archive.size(), 512 + (size + 511) / 512 * 512 + 1024) << size;
        EXPECT_TRUE(std::equal(data.begin(), data.end(), archive.begin() + 512));
        EXPECT_TRUE(std::all_of(archive.begin() + 512 + size, archive.end(), [](auto b) { return b == 0; }));

        TarStream tar;
        tar_open_memory_reader(tar, archive);
        TarHeader header;
        ASSERT_EQ(tar_find(tar, "m", &header), TAR_SUCCESS);
        EXPECT_EQ(header.size, size);
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
}

TEST(TarWrite, AFileThatCannotBeFlushedFailsAtClose)
{
    TarStream tar;
    ASSERT_EQ(tar_open_file(tar, "/dev/full", "w"), TAR_SUCCESS);
    ASSERT_EQ(tar_write_file_header(tar, "x", 0), TAR_SUCCESS);
    ASSERT_EQ(tar_finalize(tar), TAR_SUCCESS); // still in the stdio buffer
    EXPECT_EQ(tar_close(tar), TAR_WRITE_FAIL);
}

struct Walk {
    std::vector<TarHeader> members;
    int end = TAR_SUCCESS;
};

Walk walk(TarStream& tar)
{
    Walk result;
    TarHeader header;
    while ((result.end = tar_read_header(tar, header)) == TAR_SUCCESS) {
        result.members.push_back(header);
        if ((result.end = tar_next(tar)) != TAR_SUCCESS)
            break;
    }
    return result;
}

// GNU tar's own V7 archive of: a.txt (700 bytes), sub/, sub/b.bin (1,500), empty.
struct GnuArchive {
    GnuArchive()
    {
        std::filesystem::create_directory(dir.path / "sub");
        write_file(dir.path / "a.txt", pattern_bytes(700, 4));
        write_file(dir.path / "sub" / "b.bin", b);
        write_file(dir.path / "empty", {});
        const ProcessResult made = run_process({"tar", "--format=v7", "-b1", "-C", dir.path.string(), "-cf",
                                                tar_path().string(), "a.txt", "sub", "empty"});
        EXPECT_EQ(made.exit_code, 0) << made.err;
        bytes = read_file(tar_path());
    }
    std::filesystem::path tar_path() const { return dir.path / "v7.tar"; }
    ScratchDir dir;
    Bytes b = pattern_bytes(1500, 5);
    Bytes bytes;
};

TEST(TarRead, WalksFindsAndReadsAGnuTarArchiveFromMemoryAndFile)
{
    const GnuArchive gnu;
    Bytes twice = gnu.bytes; // the walk ends at the first zero block
    twice.insert(twice.end(), gnu.bytes.begin(), gnu.bytes.end());
    TarStream tar;
    ASSERT_EQ(tar_open_memory_reader(tar, twice), TAR_SUCCESS);
    const Walk all = walk(tar);
    EXPECT_EQ(all.end, TAR_NULL_RECORD);
    ASSERT_EQ(all.members.size(), 4u);
    EXPECT_EQ(all.members[0].name, "a.txt");
    EXPECT_EQ(all.members[1].name + all.members[1].type, "sub/5");
    EXPECT_EQ(all.members[2].size, 1500u);
    EXPECT_EQ(all.members[3].name + std::to_string(all.members[3].size), "empty0");

    TarStream file;
    ASSERT_EQ(tar_open_file(file, gnu.tar_path().string(), "r"), TAR_SUCCESS);
    for (TarStream* stream : {&tar, &file}) {
        TarHeader header;
        ASSERT_EQ(tar_find(*stream, "sub/b.bin", &header), TAR_SUCCESS);
        EXPECT_EQ(header.mode & 0777, 0644u);
        Bytes data(header.size);
        ASSERT_EQ(tar_read_data(*stream, data.data(), 1000), TAR_SUCCESS);
        EXPECT_EQ(tar_read_data(*stream, data.data() + 1000, 501), TAR_FAILURE);
        ASSERT_EQ(tar_read_data(*stream, data.data() + 1000, 500), TAR_SUCCESS);
        EXPECT_EQ(data, gnu.b);
        ASSERT_EQ(tar_next(*stream), TAR_SUCCESS);
        ASSERT_EQ(tar_read_header(*stream, header), TAR_SUCCESS);
        EXPECT_EQ(header.name, "empty");
        EXPECT_EQ(tar_find(*stream, "sub/b", nullptr), TAR_NOT_FOUND);
    }
    EXPECT_EQ(tar_close(file), TAR_SUCCESS);
}

TEST(TarRead, DamagedArchivesGiveTheirCodes)
{
    const ScratchDir dir;
    write_file(dir.path / "zero.tar", Bytes(1024));
    TarStream tar;
    EXPECT_EQ(tar_open_file(tar, (dir.path / "zero.tar").string(), "rb"), TAR_NULL_RECORD);
    EXPECT_FALSE(tar.file);
    EXPECT_EQ(tar_open_file(tar, (dir.path / "none.tar").string(), "r"), TAR_OPEN_FAIL);

    GnuArchive gnu;
    gnu.bytes[1536 + 3] ^= 1; // the name of the second header, after a.txt's two data blocks
    ASSERT_EQ(tar_open_memory_reader(tar, gnu.bytes), TAR_SUCCESS);
    EXPECT_EQ(tar_find(tar, "a.txt", nullptr), TAR_SUCCESS);
    EXPECT_EQ(tar_find(tar, "empty", nullptr), TAR_BAD_CHECKSUM);

    // A member that with its header spans exactly 4 GiB would lead back to itself.
    TarStream forged;
    tar_open_memory_writer(forged);
    ASSERT_EQ(tar_write_file_header(forged, "huge", 0xFFFFFE00), TAR_SUCCESS);
    ASSERT_EQ(tar_open_memory_reader(tar, forged.buffer), TAR_SUCCESS);
    EXPECT_EQ(tar_find(tar, "other", nullptr), TAR_SEEK_FAIL);

    ASSERT_EQ(tar_open_memory_reader(tar, gnu.bytes), TAR_SUCCESS);
    std::fill(gnu.bytes.begin() + 148, gnu.bytes.begin() + 156, ' ');
    EXPECT_EQ(tar_rewind(tar), TAR_SUCCESS);
    TarHeader header;
    EXPECT_EQ(tar_read_header(tar, header), TAR_BAD_CHECKSUM);
}

TEST(TarRead, CutOffArchivesNeverReadPastTheirBytes)
{
    const GnuArchive gnu;
    const std::size_t data_end = 3 * 512 + 1024 + 1500; // three headers, a.txt's two blocks, b.bin's data
    const std::size_t marker_end = gnu.bytes.size() - 512;
    for (std::size_t length = 0; length <= gnu.bytes.size(); ++length) {
        const Bytes cut(gnu.bytes.begin(), gnu.bytes.begin() + static_cast<std::ptrdiff_t>(length));
        TarStream tar;
        ASSERT_EQ(tar_open_memory_reader(tar, cut), TAR_SUCCESS);
        EXPECT_EQ(walk(tar).end, length >= marker_end ? TAR_NULL_RECORD : TAR_READ_FAIL) << length;
        if (tar_find(tar, "sub/b.bin", nullptr) == TAR_SUCCESS) {
            Bytes data(1500);
            EXPECT_EQ(tar_read_data(tar, data.data(), 1500) == TAR_SUCCESS, length >= data_end) << length;
        }
    }
}

TEST(TarRead, AFullHundredByteNameStaysWithinItsField)
{
    const ScratchDir dir;
    const std::string name(100, 'n');
    const ProcessResult made = run_process(
        {"python3", "-c",
         "import io, sys, tarfile\n"
         "with tarfile.open(sys.argv[1], 'w', format=tarfile.USTAR_FORMAT) as t:\n"
         "    t.addfile(tarfile.TarInfo(sys.argv[2]), io.BytesIO())\n",
         (dir.path / "long.tar").string(), name});
    ASSERT_EQ(made.exit_code, 0) << made.err;
    const Bytes bytes = read_file(dir.path / "long.tar");
    TarStream tar;
    ASSERT_EQ(tar_open_memory_reader(tar, bytes), TAR_SUCCESS);
    TarHeader header;
    EXPECT_EQ(tar_find(tar, name, &header), TAR_SUCCESS);
    EXPECT_EQ(header.name, name);
}

} // namespace
