// What a backup leaves on disk when the disk or the folder fails it, what
// an invalid --backupconfig does, and how text from the controller is shown:
// the built utility against the simulator over loopback.
#include "support/run_process.h"
#include "support/scratch_dir.h"
#include "support/simulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

std::vector<std::string> backup_args(const Simulator& sim, const std::string& folder, const std::string& type,
                                     const std::string& names = R"(["dali1","cd1"])")
{
    return {"--action=get_backup", "--ip=" + sim.address(), "--backupfileout=" + folder,
            "--backupfileouttype=" + type, "--backupconfig=" + names};
}

// The utility with files limited to kib KiB, as on a disk that is full; the
// signal for a file grown past the limit is ignored so that the write fails.
ProcessResult run_cli_with_file_limit(int kib, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{"/bin/sh", "-c", "trap '' XFSZ; ulimit -f " + std::to_string(kib) +
                                                       "; exec \"$0\" \"$@\"",
                                  KELPU_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return run_process(argv);
}

std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string content(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::size_t configuration_requests(const Simulator& sim)
{
    std::size_t count = 0;
    for (const SimRequest& request : sim.requests())
        count += request.kind == "GET" ? 1 : 0;
    return count;
}

TEST(OutputFiles, AFullDiskLeavesNoArchiveAndStopsTheBackup)
{
    Simulator sim;
    ScratchDir dir;
    const ProcessResult run = run_cli_with_file_limit(64, backup_args(sim, dir.path, "zip"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, AllOf(HasSubstr("Could not write " + dir.path + "/backup_127.0.0.1_"),
                               HasSubstr(".zip: File too large\r\n"), Not(HasSubstr("Completed ("))));
    EXPECT_TRUE(names_in(dir.path).empty()) << run.out;
    // Nothing more is fetched for an archive that cannot be written.
    EXPECT_EQ(configuration_requests(sim), 0u);
}

TEST(OutputFiles, AFullDiskKeepsTheEarlierFilesOfADirectoryBackup)
{
    Simulator sim;
    ScratchDir dir;
    std::ofstream(dir.path + "/flashfs.bin") << "earlier flash";
    std::ofstream(dir.path + "/dali1.tar") << "earlier dali1";
    const ProcessResult run = run_cli_with_file_limit(64, backup_args(sim, dir.path, "directory"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, AllOf(HasSubstr("Could not write " + dir.path + "/flashfs.bin: File too large\r\n"),
                               Not(HasSubstr("Completed ("))));
    EXPECT_THAT(names_in(dir.path), ElementsAre("dali1.tar", "flashfs.bin", "tool.txt"));
    EXPECT_EQ(content(dir.path + "/flashfs.bin"), "earlier flash");
    EXPECT_EQ(content(dir.path + "/dali1.tar"), "earlier dali1");
    EXPECT_EQ(configuration_requests(sim), 0u);

    // With room on the disk the same backup replaces them.
    const ProcessResult again = run_cli(backup_args(sim, dir.path, "directory"));
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_THAT(names_in(dir.path), ElementsAre("cd1.tar", "dali1.tar", "flashfs.bin", "log.txt", "tool.txt"));
    EXPECT_EQ(fs::file_size(dir.path + "/flashfs.bin"), 2097152u);
}

TEST(OutputFiles, AMissingFolderIsCreatedAndAnImpossibleOneRefusedBeforeFetching)
{
    Simulator sim;
    ScratchDir dir;
    const std::string deep = dir.path + "/a/b/c";
    ProcessResult run = run_cli(backup_args(sim, deep, "zip"));
    EXPECT_EQ(run.exit_code, 0);
    ASSERT_EQ(names_in(deep).size(), 1u);
    EXPECT_EQ(run_process({"unzip", "-tq", deep + "/" + names_in(deep)[0]}).exit_code, 0);
    EXPECT_EQ(configuration_requests(sim), 2u);

    // A folder whose parent is a file cannot be made, not even by root.
    std::ofstream(dir.path + "/file") << "x";
    for (const std::string type : {"zip", "directory"}) {
        run = run_cli(backup_args(sim, dir.path + "/file/sub", type));
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_THAT(run.out, HasSubstr("Could not create the output folder " + dir.path +
                                       "/file/sub: Not a directory\r\n"));
    }
    run = run_cli({"--action=read_file_flashfs", "--ip=" + sim.address(), "--backupfileout=" + dir.path + "/file/x",
                   "--backupfileouttype=raw"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("[ERROR] Cannot open output file: " + dir.path + "/file/x/flashfs.bin: Not a directory"));
    // Only the first backup reached the controller.
    EXPECT_EQ(sim.requests().size(), 3u);
}

TEST(OutputFiles, AnInvalidConfigurationListIsRefusedBeforeTheControllerIsAsked)
{
    Simulator sim;
    ScratchDir dir;
    for (const std::string value : {"dali1", R"("dali1")", R"(["dali1",1])", R"(["dali1",["cd1"]])",
                                    R"(["../dali2"])", R"(["a&config=b"])", "[]", R"([""])", R"(["dali1"] x)",
                                    R"(["dali1")", R"({"dali1":"cd1"})", "[\"dali1\",\"\x1b[2J\"]"}) {
        const ProcessResult run = run_cli(backup_args(sim, dir.path, "zip", value));
        EXPECT_EQ(run.exit_code, 2) << value;
        EXPECT_THAT(run.out, HasSubstr("Invalid --backupconfig value ")) << value;
        EXPECT_THAT(run.out, Not(HasSubstr("optAction="))) << value;
    }
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_TRUE(names_in(dir.path).empty());

    const ProcessResult run = run_cli(backup_args(sim, dir.path, "zip", " [ \"dali1\" ,\n \"cd1\" ] \n"));
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(configuration_requests(sim), 2u);
}

// The program's own colour escapes, which are all that may reach the terminal.
std::string without_own_escapes(std::string text)
{
    for (const std::string own : {"\x1b[31m", "\x1b[32m", "\x1b[0m"}) {
        for (std::size_t at = text.find(own); at != std::string::npos; at = text.find(own))
            text.erase(at, own.size());
    }
    return text;
}

TEST(OutputFiles, TextFromTheControllerIsShownWithItsControlCharactersEscaped)
{
    Simulator sim({"--model", "ZANTOR-2\x1b]0;owned\x07\x1b[2J", "--serial", "S\r\nN"});
    ProcessResult run = run_cli({"--action=get_status", "--ip=" + sim.address()});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(run.out, HasSubstr("model_name=ZANTOR-2\\x1b]0;owned\\x07\\x1b[2J\r\n"));
    EXPECT_EQ(without_own_escapes(run.out).find('\x1b'), std::string::npos);

    ScratchDir dir;
    run = run_cli(backup_args(sim, dir.path, "directory", R"(["dali1"])"));
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(run.out, AllOf(HasSubstr("backup\tmodel name: ZANTOR-2\\x1b]0;owned\\x07\\x1b[2J\r\n"),
                               HasSubstr("backup\tserial number: S\\r\\nN\r\n")));
    EXPECT_EQ(without_own_escapes(run.out).find('\x1b'), std::string::npos);
    EXPECT_EQ(content(dir.path + "/log.txt").find('\x1b'), std::string::npos);
}

} // namespace
