#include "firmware/action_push_firmware.h"
#include "firmware/firmware_files.h"
#include "firmware/firmware_info.h"
#include "firmware/firmware_push.h"
#include "firmware/hex.h"
#include "log/log.h"
#include "support/simulator.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

struct LogLine {
    LogColour colour;
    std::string text; // without the time stamp and line end
};

// Stands in for the log window; on_line runs as each line arrives.
class LogRecorder : public LogSink {
public:
    std::vector<LogLine> lines;
    std::vector<int> progress;
    std::function<void(const std::string&)> on_line;

    LogRecorder() { log_set_sink(this); }
    ~LogRecorder() override { log_set_sink(nullptr); }

    void insert_line_at_top(LogColour colour, std::string_view line) override
    {
        // "YYYY-MM-DD hh:mm:ss.mmm " in front, "\r\n" behind.
        std::string text(line.substr(24));
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        lines.push_back({colour, text});
        if (on_line)
            on_line(text);
    }
    void set_progress(int percent) override { progress.push_back(percent); }
};

struct PushRun {
    int result = -1;
    std::string out;
    std::string err;
};

PushRun push(const std::optional<std::string>& ip, const std::optional<std::string>& file)
{
    PushRun run;
    CaptureStdout();
    CaptureStderr();
    run.result = action_push_firmware(ip, file);
    run.err = GetCapturedStderr();
    run.out = GetCapturedStdout();
    return run;
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
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

    // The upload and the upgrade request, as the simulator saw them.
    void expect_uploaded_and_announced(const Simulator& sim, const PushRun& run)
    {
        EXPECT_EQ(run.result, 0) << run.out << run.err;
        const std::string digest = image_digest();
        const std::string query =
            "action=firmwareupgrade&hash=" + digest + "&size=" + std::to_string(image.size());
        const std::vector<SimRequest> requests = sim.requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].kind, "WRQ");
        EXPECT_EQ(requests[0].path, "flashraw.bin");
        EXPECT_EQ(requests[0].options.at("blksize"), "128");
        EXPECT_EQ(requests[0].outcome, "ok");
        EXPECT_EQ(requests[0].bytes, image.size());
        EXPECT_EQ(requests[0].sha256, digest);
        EXPECT_EQ(requests[1].kind, "GET");
        EXPECT_EQ(requests[1].path, "/api/v100/status.ssi");
        EXPECT_EQ(requests[1].query, query);
        EXPECT_EQ(requests[1].outcome, "hash-match");

        const std::string upload_line =
            "firmware_push_tftp\tpushing URL 'tftp://" + sim.address() + "/flashraw.bin'.\n";
        const std::string request_line =
            "firmware\tpushing URL '" + sim.address() + "/api/v100/status.ssi?" + query + "'.\n";
        const std::size_t upload_at = run.out.find(upload_line);
        const std::size_t request_at = run.out.find(request_line);
        ASSERT_NE(upload_at, std::string::npos) << run.out;
        ASSERT_NE(request_at, std::string::npos) << run.out;
        EXPECT_LT(upload_at, request_at);
        EXPECT_EQ(count_of(run.out, "OK\n"), 2u);
        EXPECT_TRUE(run.out.ends_with("Verifying firmware upgrade... PLEASE WAIT...\r\nOK\n")) << run.out;
        ASSERT_FALSE(log.progress.empty());
        EXPECT_EQ(log.progress.back(), 100);
        EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));
    }
};

TEST_F(FirmwarePush, PackageIsUploadedAndAnnounced)
{
    Simulator sim;
    write_package(dir / "fw.bin", package_entries(image));
    expect_uploaded_and_announced(sim, push(sim.address(), (dir / "fw.bin").string()));
}

TEST_F(FirmwarePush, RawImageIsUploadedAndAnnounced)
{
    Simulator sim;
    write_bytes(dir / "fw.binary", image);
    expect_uploaded_and_announced(sim, push(sim.address(), (dir / "fw.binary").string()));
}

TEST_F(FirmwarePush, InvalidImageSendsNothing)
{
    Simulator sim;
    std::vector<PackageEntry> entries = package_entries(image);
    entries[1].content.back() ^= 0x80;
    write_package(dir / "fw.bin", entries);
    write_bytes(dir / "other.binary", make_firmware_image(firmware_image_min_size, "ZANTOR-5"));

    const PushRun mismatch = push(sim.address(), (dir / "fw.bin").string());
    EXPECT_EQ(mismatch.result, 1);
    EXPECT_TRUE(mismatch.out.ends_with("File is invalid (h).\nFIRMWARE FILE IS NOT VALID!")) << mismatch.out;
    const PushRun other_model = push(sim.address(), (dir / "other.binary").string());
    EXPECT_EQ(other_model.result, 1);
    EXPECT_TRUE(other_model.out.ends_with("FIRMWARE FILE IS NOT VALID!"));
    EXPECT_TRUE(sim.requests().empty());
}

TEST_F(FirmwarePush, FailedUploadIsNotAnnounced)
{
    Simulator sim({"--tftp-cut-after", "20"});
    write_bytes(dir / "fw.binary", image);
    const PushRun run = push(sim.address(), (dir / "fw.binary").string());
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.out.find("OK\n"), std::string::npos);
    EXPECT_NE(run.err.find("curl_easy_perform() failed: "), std::string::npos) << run.err;
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back().colour, colour_red);
    EXPECT_TRUE(log.lines.back().text.starts_with("Firmware push failed, ")) << log.lines.back().text;
    const std::vector<SimRequest> requests = sim.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, "WRQ");
    EXPECT_EQ(requests[0].outcome, "cut");
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
    EXPECT_EQ(count_of(run.out, "OK\n"), 1u) << run.out;
    EXPECT_NE(run.err.find("curl_easy_perform() failed: "), std::string::npos) << run.err;
    ASSERT_GE(log.lines.size(), 2u);
    EXPECT_EQ(log.lines.back().text, "Verifying firmware upgrade... PLEASE WAIT...");
    EXPECT_EQ(log.lines.back().colour, colour_black);
    const LogLine& failure = log.lines[log.lines.size() - 2];
    EXPECT_EQ(failure.colour, colour_red);
    EXPECT_TRUE(failure.text.starts_with("Firmware push failed, ")) << failure.text;
}

TEST_F(FirmwarePush, MissingArgumentsAndOverlongPathsSendNothing)
{
    Simulator sim;
    write_bytes(dir / "fw.binary", image);
    const PushRun no_ip = push(std::nullopt, (dir / "fw.binary").string());
    EXPECT_EQ(no_ip.result, 2);
    EXPECT_EQ(no_ip.out, "Missing arguments for action push_firmware.");
    const PushRun no_file = push(sim.address(), std::nullopt);
    EXPECT_EQ(no_file.result, 2);
    EXPECT_EQ(no_file.out, "Missing arguments for action push_firmware.");

    // A path the platform cannot hold is refused whole, never shortened.
    const std::string overlong = (dir / std::string(PATH_MAX, 'a')).string() + ".binary";
    const PushRun too_long = push(sim.address(), overlong);
    EXPECT_EQ(too_long.result, 1);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines.back().colour, colour_red);
    EXPECT_NE(log.lines.back().text.find("too long"), std::string::npos);
    EXPECT_TRUE(sim.requests().empty());
}

TEST_F(FirmwarePush, UploadWithoutProgressLeavesTheBarAlone)
{
    Simulator sim;
    FileImage upload;
    upload.data = image;
    upload.size = image.size();
    CaptureStdout();
    EXPECT_EQ(firmware_push_tftp(sim.address(), upload, false), 0);
    EXPECT_EQ(firmware_push_tftp(sim.address(), FileImage{}, false), 1);
    GetCapturedStdout();
    EXPECT_TRUE(log.progress.empty());
    EXPECT_EQ(upload.size, image.size());
    const std::vector<SimRequest> requests = sim.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].sha256, image_digest());
}

} // namespace
