// The transport's exchanges called directly, against the simulator.
#include "log/log.h"
#include "support/simulator.h"
#include "transport/backup_put.h"
#include "transport/http_get.h"
#include "transport/tftp_read.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

constexpr std::uint64_t two_mib = 2097152;

// Stands in for the log window and keeps every progress value it is given.
struct ProgressRecorder : LogSink {
    ProgressRecorder() { log_set_sink(this); }
    ~ProgressRecorder() override { log_set_sink(nullptr); }
    void insert_line_at_top(LogColour, std::string_view) override {}
    void set_progress(int percent) override { values.push_back(percent); }
    std::vector<int> values;
};

// Reads the simulator's 2 MiB flashfs.bin and returns the progress values
// seen on the way.
std::vector<int> progress_of_read(bool announce_size, std::uint64_t expected_size)
{
    Simulator sim(announce_size ? std::vector<std::string>{} : std::vector<std::string>{"--no-tsize"});
    ProgressRecorder recorder;
    std::vector<std::uint8_t> data;
    EXPECT_EQ(action_read_file_memory(sim.address(), "flashfs.bin", expected_size, data), 0);
    EXPECT_EQ(data.size(), two_mib);
    EXPECT_TRUE(std::is_sorted(recorder.values.begin(), recorder.values.end()));
    return recorder.values;
}

TEST(TftpReadProgress, RunsAgainstTheExpectedSizeWithoutASizeFromTheServer)
{
    const std::vector<int> values = progress_of_read(false, two_mib);
    // One call per percent: only changes reach the window.
    EXPECT_EQ(values.size(), 101u);
    EXPECT_EQ(values.front(), 0);
    EXPECT_EQ(values.back(), 100);

    EXPECT_EQ(progress_of_read(false, 0), (std::vector<int>{0, 100}));
}

TEST(TftpReadProgress, FollowsTheSizeTheServerAnnounces)
{
    const std::vector<int> values = progress_of_read(true, 0);
    ASSERT_GE(values.size(), 50u);
    EXPECT_EQ(values.back(), 100);
}

TEST(HttpGet, AnErrorPageIsAReceivedBody)
{
    Simulator sim({"--http-404"});
    ReceiveBuffer body;
    EXPECT_EQ(http_get_body("http://" + sim.address() + "/api/v100/status.ssi", HttpBody::status, body), std::nullopt);
    EXPECT_EQ(body.size, sim.requests().back().bytes);
    EXPECT_THAT(std::string(body.data.begin(), body.data.end()), ::testing::StartsWith("<"));
}

TEST(BackupPut, SendsTheRestoreTrigger)
{
    // Nothing was uploaded before, so the controller refuses the trigger
    // with 400: a failure, not a restore. (Restores that the controller
    // takes are run by the restore tests.)
    Simulator sim;
    testing::internal::CaptureStderr();
    EXPECT_EQ(backup_put(sim.address()), 1);
    // libcurl's own progress meter is on for this request.
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, ::testing::HasSubstr("% Total"));
    EXPECT_THAT(err, ::testing::HasSubstr("curl_easy_perform() failed: the controller refused the request "
                                          "(HTTP status 400)"));
    ASSERT_EQ(sim.requests().size(), 1u);
    EXPECT_EQ(sim.requests()[0].path + "?" + sim.requests()[0].query, "/api/v100/status.ssi?action=restoreconfig");
    EXPECT_EQ(sim.requests()[0].outcome, "no-upload");

    Simulator refusing({"--refuse"});
    testing::internal::CaptureStderr();
    EXPECT_EQ(backup_put(refusing.address()), 1);
    EXPECT_THAT(testing::internal::GetCapturedStderr(), ::testing::HasSubstr("curl_easy_perform() failed: "));
}

} // namespace
