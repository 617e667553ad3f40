// push_firmware as a technician starts it: the safety backup first, into the
// download folder, then the upload and the upgrade request.

#include "firmware/firmware_files.h"
#include "firmware/firmware_info.h"
#include "support/run_process.h"
#include "support/simulator.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(PushFirmwareRun, SafetyBackupLandsInTheDownloadFolderBeforeTheUpload)
{
    Simulator sim;
    TempDir home;
    const std::filesystem::path firmware = home / "fw.binary";
    write_bytes(firmware, make_firmware_image(firmware_image_min_size, "ZANTOR-2"));

    const ProcessResult run = run_cli({"--action=push_firmware", "--ip=" + sim.address(),
                                       "--firmwarefile=" + firmware.string()},
                                      {"HOME=" + home.path.string(), "XDG_CONFIG_HOME=" + (home / "config").string()});
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    const std::filesystem::path downloads = home / "Downloads";
    EXPECT_NE(run.out.find("Downloading backup before firmware upgrade (" + downloads.string() + ")...\r\n"),
              std::string::npos);

    std::vector<std::filesystem::path> archives;
    for (const auto& entry : std::filesystem::directory_iterator(downloads))
        archives.push_back(entry.path());
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_TRUE(archives[0].filename().string().starts_with("backup_127.0.0.1_"));
    const ProcessResult listing = run_process({"unzip", "-Z1", archives[0].string()});
    EXPECT_EQ(listing.exit_code, 0);
    EXPECT_TRUE(listing.out.starts_with("tool.txt\nflashfs.bin\nsystemconfig.tar\n")) << listing.out;
    EXPECT_EQ(listing.out.find("log.txt"), std::string::npos);

    // Every backup request comes before the upload, the upgrade request last.
    const std::vector<SimRequest> requests = sim.requests();
    ASSERT_GE(requests.size(), 606u);
    const auto upload = std::find_if(requests.begin(), requests.end(),
                                     [](const SimRequest& r) { return r.kind == "WRQ"; });
    ASSERT_EQ(upload, requests.end() - 2);
    EXPECT_EQ(std::count_if(requests.begin(), upload,
                            [](const SimRequest& r) { return r.path == "/api/v100/backup.ssi"; }),
              603);
    EXPECT_EQ(requests.back().outcome, "hash-match");
}

} // namespace
