#include "platform/download_dir.h"
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

TEST(Paths, JoinRefusesWhatThePlatformCannotHold)
{
    EXPECT_EQ(path_join("/tmp/out", "flashfs.bin"), "/tmp/out/flashfs.bin");
    const std::string folder(PATH_MAX - 3, 'd');
    EXPECT_EQ(path_join(folder, "x")->size(), std::size_t{PATH_MAX - 1});
    EXPECT_FALSE(path_join(folder, "xy"));
    EXPECT_FALSE(path_fits(std::string(PATH_MAX, 'p')));
}

// Points HOME and XDG_CONFIG_HOME at a fresh folder for one test.
class DownloadDirTest : public testing::Test {
protected:
    std::filesystem::path home;
    void SetUp() override
    {
        home = std::filesystem::temp_directory_path() /
               ("kelpu-home-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(home / ".config");
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
    }
    void TearDown() override { std::filesystem::remove_all(home); }
    void write_user_dirs(const std::string& text)
    {
        std::ofstream(home / ".config" / "user-dirs.dirs") << text;
    }
};

TEST_F(DownloadDirTest, FallsBackToDownloadsInTheHomeFolder)
{
    EXPECT_EQ(platform_download_dir(), home.string() + "/Downloads");
}

TEST_F(DownloadDirTest, ReadsTheDesktopsDownloadFolder)
{
    write_user_dirs("# written by xdg-user-dirs-update\n"
                    "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                    "XDG_DOWNLOAD_DIR=\"$HOME/Telechargements\"\n");
    EXPECT_EQ(platform_download_dir(), home.string() + "/Telechargements");

    write_user_dirs("XDG_DOWNLOAD_DIR=\"/srv/downloads\"\n");
    EXPECT_EQ(platform_download_dir(), "/srv/downloads");
}

TEST_F(DownloadDirTest, HonoursXdgConfigHomeAndIgnoresRelativeEntries)
{
    const std::filesystem::path config = home / "elsewhere";
    std::filesystem::create_directories(config);
    std::ofstream(config / "user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"relative/dl\"\n";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    EXPECT_EQ(platform_download_dir(), home.string() + "/Downloads");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(DownloadDir, NoHomeMeansNoFolder)
{
    const std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
    unsetenv("HOME");
    EXPECT_FALSE(platform_download_dir());
    if (!saved.empty())
        setenv("HOME", saved.c_str(), 1);
}

} // namespace
