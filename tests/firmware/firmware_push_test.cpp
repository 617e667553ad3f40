#include "firmware/action_push_firmware.h"
#include "firmware/firmware_files.h"
#include "firmware/firmware_info.h"
#include "firmware/firmware_push.h"
#include "log/log.h"
#include "support/simulator.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

namespace {

using namespace testing::internal;

// Stands in for the log window; on_line runs as each line arrives.
struct LogRecorder : LogSink {
    std::vector<std::pair<LogColour, std::string>> lines; // without time stamp and line end
    std::vector<int> progress;
    std::function<void(const std::string&)> on_line;

    LogRecorder() { log_set_sink(this); }
    ~LogRecorder() override { log_set_sink(nullptr); }
    void insert_line_at_top(LogColour colour, std::string_view line) override
    {
        lines.emplace_back(colour, std::string(line.substr(24, line.find_last_not_of("\r\n") - 23)));
        if (on_line)
            on_line(lines.back().second);
    }
    void set_progress(int percent) override { progress.push_back(percent); }
};

struct PushRun {
    int result;
    std::string out, err;
};

PushRun push(const std::optional<std::string>& ip, const std::optional<std::string>& file)
{
    CaptureStdout();
    CaptureStderr();
    const int result = action_push_firmware(ip, file);
    std::string err = GetCapturedStderr();
    return {result, GetCapturedStdout(), err};
}

std::size_t count_ok(const std::string& out)
{
    std::size_t count = 0;
    for (std::size_t at = out.find("OK\n"); at != std::string::npos; at = out.find("OK\n", at + 1))
        ++count;
    return count;
}

class FirmwarePush : public testing::Test {
protected:
    TempDir dir;
    LogRecorder log;
    std::vector<std::uint8_t> image = make_firmware_image(firmware_image_min_size + 333, "ZANTOR-3");

    std::string image_digest()
    {
        write_bytes(dir / "plain", image);
        return sha256sum_of(dir / "plain");
    }

    void expect_uploaded_and_announced(const std::string& file)
    {
        Simulator sim;
        log.progress.clear();
        const PushRun run = push(sim.address(), file);
        EXPECT_EQ(run.result, 0) << run.out << run.err;
        const std::string query = "action=firmwareupgrade&hash=" + image_digest() + "&size=" +
                                  std::to_string(image.size());
        const std::vector<SimRequest> requests = sim.requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].kind + " " + requests[0].path + " " + requests[0].outcome, "WRQ flashraw.bin ok");
        EXPECT_EQ(requests[0].options.at("blksize"), "128");
        EXPECT_EQ(requests[0].sha256, image_digest());
        EXPECT_EQ(requests[1].path + "?" + requests[1].query, "/api/v100/status.ssi?" + query);
        EXPECT_EQ(requests[1].outcome, "hash-match");

        const std::size_t upload_at =
            run.out.find("firmware_push_tftp\tpushing URL 'tftp://" + sim.address() + "/flashraw.bin'.\n");
        const std::size_t request_at =
            run.out.find("firmware\tpushing URL '" + sim.address() + "/api/v100/status.ssi?" + query + "'.\n");
        EXPECT_LT(upload_at, request_at);
        EXPECT_NE(request_at, std::string::npos) << run.out;
        EXPECT_TRUE(run.out.ends_with("Verifying firmware upgrade... PLEASE WAIT...\r\nOK\n")) << run.out;
        EXPECT_EQ(count_ok(run.out), 2u);
        ASSERT_FALSE(log.progress.empty());
        EXPECT_EQ(log.progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));
    }
};

TEST_F(FirmwarePush, PackageAndRawImageAreUploadedAndAnnounced)
{
    write_package(dir / "fw.bin", package_entries(image));
    write_bytes(dir / "fw.binary", image);
    expect_uploaded_and_announced((dir / "fw.bin").string());
    expect_uploaded_and_announced((dir / "fw.binary").string());
}

TEST_F(FirmwarePush, LargestValidImageIsInstalled)
{
    // Its last block is numbered 0 after the block number wrapped twice.
    image = make_firmware_image(firmware_image_max_size, "ZANTOR-3");
    write_bytes(dir / "fw.binary", image);
    expect_uploaded_and_announced((dir / "fw.binary").string());
}

TEST_F(FirmwarePush, NothingIsSentForBadArgumentsOrAnInvalidImage)
{
    Simulator sim;
    std::vector<PackageEntry> entries = package_entries(image);
    entries[1].content.back() ^= 0x80;
    write_package(dir / "fw.bin", entries);
    const PushRun mismatch = push(sim.address(), (dir / "fw.bin").string());
    EXPECT_EQ(mismatch.result, 1);
    EXPECT_TRUE(mismatch.out.ends_with("File is invalid (h).\nFIRMWARE FILE IS NOT VALID!")) << mismatch.out;

    EXPECT_EQ(push(std::nullopt, (dir / "fw.bin").string()).out, "Missing arguments for action push_firmware.");
    EXPECT_EQ(push(std::nullopt, (dir / "fw.bin").string()).result, 2);
    EXPECT_EQ(push(sim.address(), std::nullopt).result, 2);

    // A path the platform cannot hold is refused whole, never shortened.
    EXPECT_EQ(push(sim.address(), (dir / std::string(PATH_MAX, 'a')).string() + ".binary").result, 2);
    EXPECT_EQ(log.lines.back().first, colour_red);
    EXPECT_NE(log.lines.back().second.find("too long"), std::string::npos);
    EXPECT_TRUE(sim.requests().empty());
}

TEST_F(FirmwarePush, FailedUploadIsNotAnnounced)
{
    Simulator sim({"--tftp-cut-after", "20"});
    write_bytes(dir / "fw.binary", image);
    const PushRun run = push(sim.address(), (dir / "fw.binary").string());
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(count_ok(run.out), 0u);
    EXPECT_EQ(run.err, "curl_easy_perform() failed: the controller reported TFTP error 0: Transfer interrupted\n");
    EXPECT_EQ(log.lines.back().first, colour_red);
    EXPECT_EQ(log.lines.back().second,
              "Firmware push failed, the controller reported TFTP error 0: Transfer interrupted.");
    const std::vector<SimRequest> requests = sim.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind + " " + requests[0].outcome, "WRQ cut");
}

TEST_F(FirmwarePush, FailedUpgradeRequestStillEndsWithVerifying)
{
    auto sim = std::make_unique<Simulator>();
    const std::string address = sim->address();
    // The controller goes away between the upload and the request.
    log.on_line = [&](const std::string& line) {
        if (line == "Applying firmware upgrade... PLEASE WAIT...")
            sim.reset();
    };
    write_bytes(dir / "fw.binary", image);
    const PushRun run = push(address, (dir / "fw.binary").string());
    EXPECT_EQ(sim, nullptr);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(count_ok(run.out), 1u) << run.out;
    EXPECT_NE(run.err.find("curl_easy_perform() failed: "), std::string::npos) << run.err;
    ASSERT_GE(log.lines.size(), 2u);
    EXPECT_EQ(log.lines.back().first, colour_black);
    EXPECT_EQ(log.lines.back().second, "Verifying firmware upgrade... PLEASE WAIT...");
    EXPECT_EQ(log.lines.end()[-2].first, colour_red);
    EXPECT_TRUE(log.lines.end()[-2].second.starts_with("Firmware push failed, "));
}

TEST_F(FirmwarePush, UpgradeRequestTheControllerRefusesIsAFailure)
{
    // Nothing was uploaded, so no digest matches: the controller answers 400.
    Simulator sim;
    CaptureStdout();
    CaptureStderr();
    const int result = firmware_request_upgrade(sim.address(), Sha256Digest{}, 2097152);
    GetCapturedStderr();
    GetCapturedStdout();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(sim.requests().back().outcome, "no-image");
    ASSERT_GE(log.lines.size(), 2u);
    EXPECT_EQ(log.lines.end()[-2],
              std::make_pair(colour_red, std::string("Firmware push failed, the controller refused the request "
                                                     "(HTTP status 400).")));
}

TEST_F(FirmwarePush, UploadWithoutProgressLeavesTheBarAlone)
{
    Simulator sim;
    FileImage upload{.path = "", .size = image.size(), .data = image};
    CaptureStdout();
    EXPECT_EQ(firmware_push_tftp(sim.address(), upload, false), 0);
    EXPECT_EQ(firmware_push_tftp(sim.address(), FileImage{}, false), 1);
    GetCapturedStdout();
    EXPECT_TRUE(log.progress.empty());
    EXPECT_EQ(upload.size, image.size());
    ASSERT_EQ(sim.requests().size(), 1u);
    EXPECT_EQ(sim.requests()[0].sha256, image_digest());
}

} // namespace
