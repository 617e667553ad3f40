// The transport's exchanges called directly, against the simulator.
#include "log/log.h"
#include "support/simulator.h"
#include "transport/backup_put.h"
#include "transport/http_get.h"
#include "transport/tftp_read.h"
#include "transport/transport_files.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr std::uint64_t two_mib = 2097152;
constexpr std::uint64_t three_mib = 3145728;

// Stands in for the log window and keeps every progress value it is given.
class ProgressRecorder : public LogSink {
public:
    ProgressRecorder() { log_set_sink(this); }
    ~ProgressRecorder() override { log_set_sink(nullptr); }
    void insert_line_at_top(LogColour, std::string_view) override {}
    void set_progress(int percent) override { values.push_back(percent); }
    std::vector<int> values;
};

std::string text_of(const std::vector<std::uint8_t>& bytes)
{
    return {bytes.begin(), bytes.end()};
}

// Reads flashfs.bin from a simulator serving a 3 MiB image, and returns
// the progress values seen on the way.
std::vector<int> progress_of_read(const std::vector<std::string>& sim_args, std::uint64_t expected_size)
{
    std::vector<std::string> args{"--flash-size", std::to_string(three_mib)};
    args.insert(args.end(), sim_args.begin(), sim_args.end());
    Simulator sim(args);
    ProgressRecorder recorder;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(action_read_file_memory(sim.address(), "flashfs.bin", expected_size, data), 0);
    EXPECT_EQ(data.size(), three_mib);
    EXPECT_EQ(sha256_hex(text_of(data)), sim.requests().back().sha256);
    return recorder.values;
}

TEST(TftpReadProgress, RunsAgainstTheEstimateWithoutASizeFromTheServer)
{
    const std::vector<int> values = progress_of_read({"--no-tsize"}, two_mib);
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(values.front(), 0);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    // 100 is reached at 2 MiB and holds while the last MiB arrives.
    const auto first_full = std::find(values.begin(), values.end(), 100);
    ASSERT_NE(first_full, values.end());
    EXPECT_TRUE(std::any_of(values.begin(), first_full, [](int v) { return v > 0; }));

    const std::vector<int> beyond = progress_of_read({"--no-tsize"}, 4 * two_mib);
    EXPECT_EQ(*std::max_element(beyond.begin(), beyond.end()), static_cast<int>(three_mib * 100 / (4 * two_mib)));
}

TEST(TftpReadProgress, FollowsTheSizeTheServerAnnounces)
{
    const std::vector<int> values = progress_of_read({}, 4 * two_mib);
    EXPECT_EQ(values.back(), 100);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
}

TEST(TftpReadProgress, WithoutAnySizeJumpsToFullAtTheEnd)
{
    EXPECT_EQ(progress_of_read({"--no-tsize"}, 0), (std::vector<int>{0, 100}));
}

TEST(TftpRead, RefusesAnEmptyAddressOrName)
{
    std::vector<std::uint8_t> data{1, 2, 3};
    EXPECT_EQ(action_read_file_memory("", "flashfs.bin", two_mib, data), 1);
    EXPECT_EQ(action_read_file_memory("127.0.0.1", "", two_mib, data), 1);
}

TEST(HttpGet, AnErrorPageIsAReceivedBody)
{
    Simulator sim({"--http-404"});
    ReceiveBuffer body;
    EXPECT_EQ(http_get_body("http://" + sim.address() + "/api/v100/status.ssi", body), CURLE_OK);
    const SimRequest answered = sim.requests().back();
    EXPECT_EQ(body.size, answered.bytes);
    EXPECT_EQ(body.data.size(), answered.bytes);
    EXPECT_EQ(sha256_hex(text_of(body.data)), answered.sha256);
}

TEST(BackupPut, SendsTheRestoreTrigger)
{
    Simulator sim;
    testing::internal::CaptureStderr();
    EXPECT_EQ(backup_put(sim.address()), 0);
    // libcurl's own progress meter is on for this request.
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "% Total"));
    const std::vector<SimRequest> requests = sim.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/api/v100/status.ssi");
    EXPECT_EQ(requests[0].query, "action=restoreconfig");

    Simulator refusing({"--refuse"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(backup_put(refusing.address()), 1);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "curl_easy_perform() failed: "));
    EXPECT_EQ(backup_put(""), 1);
}

} // namespace
