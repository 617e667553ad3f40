// Reading archives made by GNU tar, and damaged or cut-off ones.

#include "support/run_process.h"
#include "tar/tar.h"
#include "tar_test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

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
        write_file(dir.path / "a.txt", a);
        write_file(dir.path / "sub" / "b.bin", b);
        write_file(dir.path / "empty", {});
        const ProcessResult made = run_process({"tar", "--format=v7", "-b1", "-C", dir.path.string(), "-cf",
                                                tar_path().string(), "a.txt", "sub", "empty"});
        EXPECT_EQ(made.exit_code, 0) << made.err;
        bytes = read_file(tar_path());
    }
    std::filesystem::path tar_path() const { return dir.path / "v7.tar"; }
    ScratchDir dir;
    Bytes a = pattern_bytes(700, 4);
    Bytes b = pattern_bytes(1500, 5);
    Bytes bytes;
};

TEST(TarRead, WalksFindsAndReadsAGnuTarArchiveFromMemoryAndFile)
{
    const GnuArchive gnu;
    TarStream tar;
    ASSERT_EQ(tar_open_memory_reader(tar, gnu.bytes), TAR_SUCCESS);
    const Walk all = walk(tar);
    EXPECT_EQ(all.end, TAR_NULL_RECORD);
    ASSERT_EQ(all.members.size(), 4u);
    EXPECT_EQ(all.members[0].name, "a.txt");
    EXPECT_EQ(all.members[1].name, "sub/");
    EXPECT_EQ(all.members[1].type, '5');
    EXPECT_EQ(all.members[2].size, 1500u);
    EXPECT_EQ(all.members[3].name, "empty");
    EXPECT_EQ(all.members[3].size, 0u);

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
        ASSERT_EQ(tar_find(*stream, "a.txt", nullptr), TAR_SUCCESS);
        Bytes a(700);
        ASSERT_EQ(tar_read_data(*stream, a.data(), 700), TAR_SUCCESS);
        EXPECT_EQ(a, gnu.a);
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

TEST(TarRead, WalkStopsAtTheFirstZeroBlock)
{
    const GnuArchive gnu;
    Bytes joined = gnu.bytes;
    joined.insert(joined.end(), gnu.bytes.begin(), gnu.bytes.end());
    TarStream tar;
    ASSERT_EQ(tar_open_memory_reader(tar, joined), TAR_SUCCESS);
    EXPECT_EQ(walk(tar).members.size(), 4u);
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
