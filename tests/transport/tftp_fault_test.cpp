// A misbehaving controller's TFTP server against the raw flash read, as a
// technician runs it: every fault ends in a failure that says what
// happened, with exit status 1, no output file and bounded memory.
#include "support/run_process.h"
#include "support/scratch_dir.h"
#include "support/simulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

using ::testing::HasSubstr;

constexpr std::uint64_t flash_size = 2097152;
// The utility holds one flash image; a run that held a transfer's endless
// stream would pass this many times over.
constexpr long memory_bound_kib = 64 * 1024;

struct ReadRun {
    ProcessResult run;
    SimRequest sent;
    bool file_left;
};

ReadRun read_flashfs(const std::vector<std::string>& sim_args)
{
    Simulator sim(sim_args);
    ScratchDir dir;
    ReadRun result;
    result.run = run_cli({"--action=read_file_flashfs", "--ip=" + sim.address(), "--backupfileout=" + dir.path,
                          "--backupfileouttype=raw"});
    // The simulator logs a transfer that the client broke off once it has
    // the client's ERROR, which may be just after the client has ended.
    std::vector<SimRequest> requests = sim.requests();
    for (int waited_ms = 0; requests.empty() && waited_ms < 5000; waited_ms += 20) {
        usleep(20000);
        requests = sim.requests();
    }
    if (requests.empty())
        throw std::runtime_error("the simulator logged no request");
    result.sent = requests.back();
    result.file_left = !std::filesystem::is_empty(dir.path);
    return result;
}

void expect_failure(const ReadRun& read, const std::string& what)
{
    EXPECT_EQ(read.run.exit_code, 1) << read.run.out;
    EXPECT_THAT(read.run.out, HasSubstr("[ERROR] curl_easy_perform() failed: " + what + "\r\n"));
    EXPECT_THAT(read.run.out, HasSubstr("Failed to read the file flashfs.bin.\r\n"));
    EXPECT_THAT(read.run.out, ::testing::Not(HasSubstr("downloaded and written")));
    EXPECT_FALSE(read.file_left);
    EXPECT_LT(read.run.peak_rss_kib, memory_bound_kib);
}

TEST(TftpFaults, ATransferThatEndsEarlyIsNoImage)
{
    // 1,000 whole blocks and an empty one: a clean end, but short of the size.
    expect_failure(read_flashfs({"--tftp-end-early", "128000"}), "the transfer ended after 128000 of 2097152 bytes");
    // Without an announced size the flash image's own size tells.
    expect_failure(read_flashfs({"--tftp-end-early", "1000", "--no-tsize"}),
                   "the transfer ended after 1000 of 2097152 bytes");
}

TEST(TftpFaults, AnnouncedSizeOtherThanTheFlashImageIsRefusedAtOnce)
{
    const ReadRun read = read_flashfs({"--flash-size", "3145728"});
    expect_failure(read, "the controller announced 3145728 bytes where 2097152 were expected");
    EXPECT_EQ(read.sent.outcome, "client-error");
    EXPECT_EQ(read.sent.bytes, 0u);
}

TEST(TftpFaults, OversizedBlocksAreRefusedNotCut)
{
    const ReadRun read = read_flashfs({"--tftp-oversized-blocks"});
    expect_failure(read, "data block 1 holds 512 bytes, more than the agreed block size of 128");
    EXPECT_EQ(read.sent.outcome, "client-error");
}

TEST(TftpFaults, AnEndlessTransferIsStoppedPastTheImageSize)
{
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--tftp-endless"},
                                                std::vector<std::string>{"--tftp-endless", "--no-tsize"}}) {
        const ReadRun read = read_flashfs(args);
        expect_failure(read, "more than 2097152 bytes arrived; the transfer was stopped");
        EXPECT_EQ(read.sent.outcome, "client-error");
        // Stopped at the first block past the image.
        EXPECT_EQ(read.sent.bytes, flash_size + 128);
    }
}

TEST(TftpFaults, ThePeersErrorIsReportedWithItsText)
{
    expect_failure(read_flashfs({"--tftp-cut-after", "100"}),
                   "the controller reported TFTP error 0: Transfer interrupted");
    expect_failure(read_flashfs({"--tftp-error"}), "the controller reported TFTP error 0: Service unavailable");
}

TEST(TftpFaults, PacketsFromAForeignPortAreRefusedAndDoNotGarbleTheImage)
{
    const ReadRun read = read_flashfs({"--tftp-foreign-packets"});
    EXPECT_EQ(read.run.exit_code, 0) << read.run.out;
    EXPECT_TRUE(read.file_left);
    EXPECT_EQ(read.sent.outcome, "ok");
    EXPECT_EQ(read.sent.bytes, flash_size);
    // Every forged packet got "Unknown transfer ID" back.
    EXPECT_THAT(read.sent.raw, HasSubstr("\"foreign_sent\": 10"));
    EXPECT_THAT(read.sent.raw, HasSubstr("\"foreign_rejected\": 10"));
}

TEST(TftpFaults, TheBackupGoesOnWithoutAFlashImageThatFailed)
{
    Simulator sim({"--tftp-oversized-blocks"});
    ScratchDir dir;
    const ProcessResult run = run_cli({"--action=get_backup", "--ip=" + sim.address(), "--backupfileout=" + dir.path,
                                       "--backupfileouttype=directory", "--backupconfig=[\"dali1\"]"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("[ERROR] curl_easy_perform() failed: data block 1 holds 512 bytes"));
    EXPECT_THAT(run.out, HasSubstr("Missing from the backup: flashfs.bin\r\n"));
    EXPECT_FALSE(std::filesystem::exists(dir.path + "/flashfs.bin"));
    EXPECT_TRUE(std::filesystem::exists(dir.path + "/dali1.tar"));
}

} // namespace
