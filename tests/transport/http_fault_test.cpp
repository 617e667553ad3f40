// A misbehaving controller's HTTP API against the utility: each fault ends
// in bounded time (the test's own time limit) with exit status 1, a line
// that says what happened, and memory that stays bounded.
#include "support/run_process.h"
#include "support/scratch_dir.h"
#include "support/simulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr long memory_bound_kib = 96 * 1024; // a 16 MiB backup TAR fits; an endless body does not

ProcessResult get_status(const std::string& ip)
{
    return run_cli({"--action=get_status", "--ip=" + ip});
}

void expect_status_failure(const ProcessResult& run, const std::string& what)
{
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("status\tcurl_easy_perform() failed: " + what));
    EXPECT_THAT(run.err, HasSubstr("curl_easy_perform() failed: " + what));
    EXPECT_THAT(run.out, Not(HasSubstr("model_name=")));
    EXPECT_LT(run.peak_rss_kib, memory_bound_kib);
}

// One configuration into a folder: the backup's HTTP exchange alone.
ProcessResult get_one_backup(const Simulator& sim, const std::string& folder)
{
    return run_cli({"--action=get_backup", "--ip=" + sim.address(), "--backupfileout=" + folder,
                    "--backupfileouttype=directory", "--backupconfig=[\"dali1\"]"});
}

// The stall rule: fewer than 30 bytes a second over 30 s.
TEST(HttpFaults, AnAnswerThatStopsAfterItsHeadersIsAbandoned)
{
    Simulator sim({"--http-stall-after-headers"});
    expect_status_failure(get_status(sim.address()), "Operation too slow");
}

TEST(HttpFaults, AnAnswerThatDripsIsAbandoned)
{
    Simulator sim({"--http-drip", "2"});
    expect_status_failure(get_status(sim.address()), "Operation too slow");
}

TEST(HttpFaults, ALengthPastTheLimitIsRefusedBeforeTheBody)
{
    Simulator sim({"--http-hold-length", "4000000000"});
    expect_status_failure(get_status(sim.address()), "the answer announces more than 65536 bytes");
    ScratchDir dir;
    const ProcessResult run = get_one_backup(sim, dir.path);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("backup\tcurl_easy_perform() failed: the answer announces more than 16777216 bytes"));
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/dali1.tar"));
}

TEST(HttpFaults, AnEndlessBodyIsCutAtTheLimitOfItsKind)
{
    Simulator sim({"--http-endless-chunked"});
    expect_status_failure(get_status(sim.address()), "the answer is larger than 65536 bytes");
    ScratchDir dir;
    const ProcessResult run = get_one_backup(sim, dir.path);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("backup\tcurl_easy_perform() failed: the answer is larger than 16777216 bytes"));
    EXPECT_LT(run.peak_rss_kib, memory_bound_kib);
}

TEST(HttpFaults, NothingButHttpIsSpoken)
{
    ScratchDir dir;
    const std::string local = dir.path + "/status.json";
    FILE* file = std::fopen(local.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("{\"model_name\": \"LOCAL-FILE\"}", file);
    std::fclose(file);
    // An address that would make the status URL a local file's.
    expect_status_failure(get_status("file://" + local + "#"), "Protocol \"file\" not supported");

    for (const std::string& target : {"file://" + local, std::string("ftp://127.0.0.1/status.json")}) {
        Simulator sim({"--http-redirect", target});
        expect_status_failure(get_status(sim.address()), "Protocol \"" + target.substr(0, target.find(':')) +
                                                             "\" not supported");
    }
}

TEST(HttpFaults, RedirectsEndAfterFive)
{
    Simulator loop({"--http-redirect", "/api/v100/status.ssi"});
    expect_status_failure(get_status(loop.address()), "Maximum (5) redirects followed");
    EXPECT_EQ(loop.requests().size(), 6u);
}

TEST(HttpFaults, ABackupGivesUpOnAControllerThatStoppedAnswering)
{
    Simulator sim({"--refuse"});
    ScratchDir dir;
    const ProcessResult run = run_cli({"--action=get_backup", "--ip=" + sim.address(), "--backupfileout=" + dir.path,
                                       "--backupfileouttype=directory"});
    EXPECT_EQ(run.exit_code, 1);
    std::size_t failures = 0;
    for (std::size_t at = run.out.find("backup\tcurl_easy_perform() failed: "); at != std::string::npos;
         at = run.out.find("backup\tcurl_easy_perform() failed: ", at + 1))
        ++failures;
    EXPECT_EQ(failures, 3u);
    EXPECT_THAT(run.out, HasSubstr("The controller stopped answering: 600 configuration(s) not asked for.\r\n"));
    EXPECT_THAT(run.out, HasSubstr("Backup incomplete: 603 file(s) missing (" + dir.path + ")."));
}

} // namespace
