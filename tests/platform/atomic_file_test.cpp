#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

namespace fs = std::filesystem;

std::span<const std::uint8_t> bytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string content(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class AtomicFileTest : public testing::Test {
protected:
    AtomicFileTest()
    {
        if (mkdtemp(dir.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        std::ofstream(dir + "/file.bin") << "earlier";
    }
    ~AtomicFileTest() override { fs::remove_all(dir); }

    std::size_t entries() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    std::string dir = (fs::temp_directory_path() / "kelpu-atomic-XXXXXX").string();
};

TEST_F(AtomicFileTest, TheFileChangesOnlyAtTheCommit)
{
    AtomicFile file;
    ASSERT_EQ(atomic_file_begin(file, dir + "/file.bin"), 0);
    EXPECT_EQ(fs::path(file.temp_path).parent_path(), fs::path(dir));
    ASSERT_EQ(atomic_file_write(file, bytes("new ")), 0);
    ASSERT_EQ(atomic_file_write(file, bytes("content")), 0);
    EXPECT_EQ(content(dir + "/file.bin"), "earlier");
    EXPECT_EQ(entries(), 2u);
    ASSERT_EQ(atomic_file_commit(file), 0);
    EXPECT_EQ(content(dir + "/file.bin"), "new content");
    EXPECT_EQ(entries(), 1u);
    // New files get the permissions any new file gets under the umask.
    EXPECT_EQ(atomic_file_write_whole(dir + "/other.txt", bytes("x")), 0);
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(dir + "/other.txt").permissions()), 0666 & ~mask);
}

TEST_F(AtomicFileTest, AFileDroppedOrFailingLeavesTheEarlierOneAndNoTrace)
{
    {
        AtomicFile file;
        ASSERT_EQ(atomic_file_begin(file, dir + "/file.bin"), 0);
        ASSERT_EQ(atomic_file_write(file, bytes("half")), 0);
    }
    EXPECT_EQ(content(dir + "/file.bin"), "earlier");
    EXPECT_EQ(entries(), 1u);

    // A folder in the target's place cannot be replaced by a file.
    fs::create_directory(dir + "/taken");
    EXPECT_EQ(atomic_file_write_whole(dir + "/taken", bytes("x")), EISDIR);
    EXPECT_EQ(entries(), 2u);

    // No folder to create the temporary file in.
    EXPECT_EQ(atomic_file_write_whole(dir + "/absent/file.bin", bytes("x")), ENOENT);
    EXPECT_EQ(atomic_file_write_whole(dir + "/file.bin/inner", bytes("x")), ENOTDIR);
    AtomicFile unopened;
    EXPECT_EQ(atomic_file_write(unopened, bytes("x")), EBADF);
    EXPECT_EQ(atomic_file_commit(unopened), EBADF);
    EXPECT_EQ(entries(), 2u);
}

TEST_F(AtomicFileTest, FoldersAreCreatedWithTheirParentsOrRefused)
{
    EXPECT_EQ(folder_create(dir + "/a/b/c"), 0);
    EXPECT_TRUE(fs::is_directory(dir + "/a/b/c"));
    EXPECT_EQ(folder_create(dir + "/a/b/c"), 0);
    EXPECT_EQ(folder_create(dir + "/file.bin/sub"), ENOTDIR);
    EXPECT_NE(folder_create(dir + "/file.bin"), 0);
}

} // namespace
