// The status and raw flash read actions as a user runs them: the built
// utility against the simulator over loopback.
#include "support/run_process.h"
#include "support/scratch_dir.h"
#include "support/simulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The digest as coreutils computes it from the file on disk.
std::string file_sha256(const std::string& path)
{
    return run_process({"sha256sum", path}).out.substr(0, 64);
}

std::vector<std::string> read_args(const std::string& action, const Simulator& sim, const std::string& folder)
{
    return {"--action=" + action, "--ip=" + sim.address(), "--backupfileout=" + folder, "--backupfileouttype=raw"};
}

TEST(GetStatus, PrintsTheModelNameOrFails)
{
    Simulator sim({"--model", "ZANTOR-4"});
    ProcessResult run = run_cli({"--verbose", "--action=get_status", "--ip=" + sim.address()});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(run.out, HasSubstr("status\tfetching URL '" + sim.address() + "/api/v100/status.ssi'.\n"));
    EXPECT_THAT(run.out, HasSubstr("model_name=ZANTOR-4\r\n"));
    EXPECT_THAT(run.err, HasSubstr("> GET /api/v100/status.ssi HTTP/1.1")); // libcurl's trace
    ASSERT_EQ(sim.requests().size(), 1u);
    EXPECT_EQ(sim.requests()[0].path + "?" + sim.requests()[0].query, "/api/v100/status.ssi?");

    Simulator refusing({"--refuse"});
    run = run_cli({"--action=get_status", "--ip=" + refusing.address()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.err, HasSubstr("curl_easy_perform() failed: "));

    Simulator not_found({"--http-404"}); // a page arrives, but no status
    run = run_cli({"--action=get_status", "--ip=" + not_found.address()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, AllOf(HasSubstr("status\treceived "), Not(HasSubstr("model_name="))));

    run = run_cli({"--action=get_status"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.out, HasSubstr("Missing arguments for action get_status."));
}

TEST(ReadFile, WritesExactlyWhatTheControllerSent)
{
    Simulator sim;
    ScratchDir dir;
    for (const std::string name : {"flashfs.bin", "flashraw.bin"}) {
        // A folder that ends in the separator gets no second one.
        std::vector<std::string> args = read_args("read_file_" + name.substr(0, name.find('.')), sim, dir.path + "/");
        args.push_back("--verbose");
        const ProcessResult run = run_cli(args);
        const std::string path = dir.path + "/" + name;
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.err, ""); // no trace for the TFTP read, even with --verbose
        EXPECT_THAT(run.out, HasSubstr("[INFO] Output file: " + path + "[INFO]"));
        EXPECT_THAT(run.out, HasSubstr("File " + name + " downloaded and written to: " + path + ".\r\n"));
        const SimRequest sent = sim.requests().back();
        EXPECT_EQ(sent.kind + " " + sent.path + " " + sent.options.at("blksize"), "RRQ " + name + " 128");
        EXPECT_EQ(sent.bytes, 2097152u);
        EXPECT_EQ(file_sha256(path), sent.sha256);
    }
}

TEST(ReadFile, ATransferCutMidwayReplacesNothing)
{
    Simulator sim({"--tftp-cut-after", "100"});
    ScratchDir dir;
    run_process({"sh", "-c", "echo earlier > \"$0\"", dir.path + "/flashfs.bin"});
    const ProcessResult run = run_cli(read_args("read_file_flashfs", sim, dir.path));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("[ERROR] curl_easy_perform() failed: "));
    EXPECT_THAT(run.out, HasSubstr("Failed to read the file flashfs.bin.\r\n"));
    EXPECT_EQ(sim.requests().back().outcome, "cut");
    EXPECT_EQ(run_process({"ls", "-A", dir.path}).out, "flashfs.bin\n");
    EXPECT_EQ(run_process({"cat", dir.path + "/flashfs.bin"}).out, "earlier\n");
}

TEST(ReadFile, RefusesBeforeAnyTransfer)
{
    Simulator sim;
    ScratchDir dir;
    std::vector<std::string> args = read_args("read_file_flashraw", sim, dir.path);
    args.pop_back();
    ProcessResult run = run_cli(args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.out, HasSubstr("[ERROR] Invalid arguments to action_read_file\n"));

    // "/flashraw.bin" is 13 characters: the first folder leaves a path the
    // platform can hold, the second one a path one character too long.
    const std::string fits = dir.path + "/" + std::string(PATH_MAX - 15 - dir.path.size(), 'd');
    run = run_cli(read_args("read_file_flashraw", sim, fits));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("[INFO] Output file: " + fits + "/flashraw.bin[ERROR] Cannot open output file: "));
    run = run_cli(read_args("read_file_flashraw", sim, fits + "d"));
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_THAT(run.out, AllOf(HasSubstr("[ERROR] Output path too long\n"), Not(HasSubstr("Output file:"))));

    EXPECT_TRUE(sim.requests().empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}

TEST(ReadFile, ReportsAFileThatCouldNotBeWrittenWhole)
{
    Simulator sim;
    ScratchDir dir;
    // A file size limit makes the write fail after the download succeeded.
    std::vector<std::string> argv{"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$@\"", KELPU_CLI_PATH};
    for (const std::string& arg : read_args("read_file_flashfs", sim, dir.path))
        argv.push_back(arg);
    run_process({"sh", "-c", "echo earlier > \"$0\"", dir.path + "/flashfs.bin"});
    const ProcessResult run = run_process(argv);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("Download of flashfs.bin completed (2097152 bytes)."));
    EXPECT_THAT(run.out, HasSubstr("[ERROR] Cannot write output file: " + dir.path + "/flashfs.bin: File too large\n"));
    EXPECT_THAT(run.out, Not(HasSubstr("downloaded and written to")));
    // The earlier file stays, and no temporary file is left beside it.
    EXPECT_EQ(run_process({"ls", "-A", dir.path}).out, "flashfs.bin\n");
    EXPECT_EQ(run_process({"cat", dir.path + "/flashfs.bin"}).out, "earlier\n");
}

} // namespace
