// The status and raw flash read actions as a user runs them: the built
// utility against the simulator over loopback.
#include "support/run_process.h"
#include "support/simulator.h"
#include "transport/transport_files.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

namespace {

std::vector<std::string> read_args(const std::string& action, const Simulator& sim, const std::string& folder)
{
    return {"--action=" + action, "--ip=" + sim.address(), "--backupfileout=" + folder, "--backupfileouttype=raw"};
}

TEST(GetStatus, PrintsTheControllersModelName)
{
    Simulator sim({"--model", "ZANTOR-4"});
    const ProcessResult run = run_cli({"--action=get_status", "--ip=" + sim.address()});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_TRUE(contains(run.out, "status\tfetching URL '" + sim.address() + "/api/v100/status.ssi'.\n"));
    EXPECT_TRUE(contains(run.out, "model_name=ZANTOR-4\r\n"));
    const std::vector<SimRequest> requests = sim.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].kind, "GET");
    EXPECT_EQ(requests[0].path, "/api/v100/status.ssi");
    EXPECT_EQ(requests[0].query, "");
}

TEST(GetStatus, FailsWithoutAModelName)
{
    Simulator refusing({"--refuse"});
    ProcessResult run = run_cli({"--action=get_status", "--ip=" + refusing.address()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(contains(run.err, "curl_easy_perform() failed: "));
    EXPECT_FALSE(contains(run.out, "model_name="));

    Simulator not_found({"--http-404"});
    run = run_cli({"--action=get_status", "--ip=" + not_found.address()});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(contains(run.out, "status\treceived "));
    EXPECT_FALSE(contains(run.out, "model_name="));

    run = run_cli({"--action=get_status"});
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(contains(run.out, "Missing arguments for action get_status."));
}

TEST(Verbose, TracesHttpButNotTheTftpRead)
{
    Simulator sim;
    ScratchDir dir;
    ProcessResult run = run_cli({"--verbose", "--action=get_status", "--ip=" + sim.address()});
    EXPECT_TRUE(contains(run.err, "> GET /api/v100/status.ssi HTTP/1.1"));
    std::vector<std::string> args = read_args("read_file_flashfs", sim, dir.path);
    args.push_back("--verbose");
    run = run_cli(args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
}

TEST(ReadFile, WritesExactlyWhatTheControllerSent)
{
    Simulator sim({"--flash-size", "300001"});
    ScratchDir dir;
    for (const std::string name : {"flashfs.bin", "flashraw.bin"}) {
        // A folder that ends in the separator gets no second one.
        const ProcessResult run = run_cli(read_args("read_file_" + name.substr(0, name.find('.')), sim, dir.path + "/"));
        const std::string path = dir.path + "/" + name;
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_TRUE(contains(run.out, "[INFO] Output file: " + path + "[INFO]"));
        EXPECT_TRUE(contains(run.out, "File " + name + " downloaded and written to: " + path + ".\r\n"));
        const SimRequest sent = sim.requests().back();
        EXPECT_EQ(sent.kind, "RRQ");
        EXPECT_EQ(sent.path, name);
        EXPECT_EQ(sent.options.at("blksize"), "128");
        EXPECT_EQ(sent.bytes, 300001u);
        EXPECT_EQ(sha256_hex(read_whole_file(path)), sent.sha256);
    }
}

TEST(ReadFile, KeepsTheBytesOfATransferCutMidway)
{
    Simulator sim({"--tftp-cut-after", "100"});
    ScratchDir dir;
    const ProcessResult run = run_cli(read_args("read_file_flashfs", sim, dir.path));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(contains(run.out, "[ERROR] curl_easy_perform() failed: "));
    EXPECT_TRUE(contains(run.out, "Failed to read the file flashfs.bin.\r\n"));
    const std::string written = read_whole_file(dir.path + "/flashfs.bin");
    const SimRequest sent = sim.requests().back();
    EXPECT_EQ(sent.outcome, "cut");
    EXPECT_EQ(written.size(), 100u * 128u);
    EXPECT_EQ(sha256_hex(written), sent.sha256);
}

TEST(ReadFile, RefusesBeforeAnyTransfer)
{
    Simulator sim;
    ScratchDir dir;
    std::vector<std::string> args = read_args("read_file_flashraw", sim, dir.path);
    args.pop_back();
    ProcessResult run = run_cli(args);
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(contains(run.out, "[ERROR] Invalid arguments to action_read_file\n"));

    // "/flashraw.bin" is 13 characters: the first folder leaves a path the
    // platform can hold, the second one a path one character too long.
    const std::string fits = dir.path + "/" + std::string(PATH_MAX - 15 - dir.path.size(), 'd');
    run = run_cli(read_args("read_file_flashraw", sim, fits));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(contains(run.out, "[INFO] Output file: " + fits + "/flashraw.bin[ERROR] Cannot open output file: "));
    run = run_cli(read_args("read_file_flashraw", sim, fits + "d"));
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_TRUE(contains(run.out, "[ERROR] Output path too long\n"));
    EXPECT_FALSE(contains(run.out, "[INFO] Output file:"));

    EXPECT_TRUE(sim.requests().empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}

TEST(ReadFile, ReportsAFileThatCouldNotBeWrittenWhole)
{
    Simulator sim({"--flash-size", "65536"});
    ScratchDir dir;
    // A file size limit makes the write fail after the download succeeded.
    std::vector<std::string> argv{"/bin/sh", "-c", "trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$@\"", KELPU_CLI_PATH};
    for (const std::string& arg : read_args("read_file_flashfs", sim, dir.path))
        argv.push_back(arg);
    const ProcessResult run = run_process(argv);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_TRUE(contains(run.out, "Download of flashfs.bin completed (65536 bytes)."));
    EXPECT_TRUE(contains(run.out, "[ERROR] Cannot write output file: " + dir.path + "/flashfs.bin\n"));
    EXPECT_FALSE(contains(run.out, "downloaded and written to"));
}

} // namespace
