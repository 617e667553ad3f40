// Backups as a user takes them: the built utility (and, for the progress
// bar, the action in this process) against the simulator over loopback;
// archives are read back with unzip and files digested with sha256sum.
#include "action/get_backup.h"
#include "catalogue/backup_catalogue.h"
#include "log/log.h"
#include "support/run_process.h"
#include "support/scratch_dir.h"
#include "support/simulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
namespace fs = std::filesystem;
using Digests = std::map<std::string, std::string>;

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// File name to digest for every file in folder, less tool.txt and log.txt,
// which the controller did not send.
Digests digests_in(const std::string& folder)
{
    std::vector<std::string> command = {"sha256sum"};
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        command.push_back(entry.path().string());
    Digests digests;
    for (const std::string& line : lines_of(run_process(command).out))
        digests[fs::path(line.substr(66)).filename().string()] = line.substr(0, 64);
    EXPECT_EQ(digests.erase("tool.txt") + digests.erase("log.txt"), 2u);
    return digests;
}

// What a good backup holds, from the simulator's record of what it sent: the
// configurations it had, in the order asked, and the digest of each file.
std::vector<std::string> served(const Simulator& sim, Digests& digests)
{
    std::vector<std::string> entries = {"tool.txt", "flashfs.bin"};
    for (const SimRequest& request : sim.requests()) {
        if (request.kind == "GET" && request.outcome == "ok")
            entries.push_back(request.query.substr(request.query.find('=') + 1) + ".tar");
        if (request.kind == "RRQ" || request.outcome == "ok")
            digests[request.kind == "RRQ" ? request.path : entries.back()] = request.sha256;
    }
    entries.push_back("log.txt");
    return entries;
}

std::vector<std::string> asked_for(const Simulator& sim)
{
    std::vector<std::string> names;
    for (const SimRequest& request : sim.requests()) {
        if (request.kind == "GET")
            names.push_back(request.query.substr(request.query.find('=') + 1));
    }
    return names;
}

std::string only_file(const std::string& folder)
{
    const std::vector<fs::path> files(fs::directory_iterator(folder), fs::directory_iterator{});
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? "" : files[0].string();
}

std::vector<std::string> zip_entries(const std::string& archive)
{
    return lines_of(run_process({"unzip", "-Z1", archive}).out);
}

// type and names are left out when empty: a folder, and every configuration.
std::vector<std::string> args_for(const Simulator& sim, const std::string& folder, const std::string& type,
                                  const std::string& names = "")
{
    std::vector<std::string> args = {"--action=get_backup", "--ip=" + sim.address(), "--backupfileout=" + folder};
    if (!type.empty())
        args.push_back("--backupfileouttype=" + type);
    if (!names.empty())
        args.push_back("--backupconfig=" + names);
    return args;
}

TEST(GetBackup, ArchiveHoldsEveryConfigurationAsServed)
{
    Simulator sim;
    ScratchDir dir;
    const ProcessResult run = run_cli(args_for(sim, dir.path, "zip"));
    EXPECT_EQ(run.exit_code, 0);
    const std::string archive = only_file(dir.path);
    const std::string prefix = dir.path + "/backup_127.0.0.1_" + std::to_string(sim.port()) + "_ZANTOR_";
    std::string stamp = archive.substr(std::min(prefix.size(), archive.size()));
    std::replace_if(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; }, '9');
    EXPECT_EQ(archive.substr(0, prefix.size()) + stamp, prefix + "99999999_999999.zip");
    EXPECT_EQ(asked_for(sim), std::vector<std::string>(backup_config_names().begin(), backup_config_names().end()));
    Digests sent;
    const std::vector<std::string> entries = served(sim, sent);
    EXPECT_GT(entries.size(), 20u);
    EXPECT_EQ(zip_entries(archive), entries);

    // Reported complete only once the archive is in place, so the completion
    // line is not in the archive's log.
    EXPECT_THAT(run.out, HasSubstr("\n100% Completed (" + archive + ").\r\n"));
    EXPECT_EQ(run_process({"unzip", "-tq", archive}).exit_code, 0);
    ASSERT_EQ(run_process({"unzip", "-q", archive, "-d", dir.path + "/x"}).exit_code, 0);
    EXPECT_EQ(run_process({"cat", dir.path + "/x/tool.txt"}).out,
              "{\n  \"tool_name\": \"kelpu-cli\",\n  \"version_major\": 1,\n  \"version_minor\": 3,\n"
              "  \"version_revision\": 0,\n  \"version_string\": \"1.3.0\"\n}\n");
    EXPECT_THAT(run_process({"cat", dir.path + "/x/log.txt"}).out,
                AllOf(HasSubstr("0% Backup file systemconfig.tar...\n"), Not(HasSubstr("Completed ("))));
    EXPECT_EQ(digests_in(dir.path + "/x"), sent);
}

TEST(GetBackup, ConfigurationsTheControllerLacksAreNoFailure)
{
    Simulator sim({"--empty-store"});
    ScratchDir dir;
    const ProcessResult run = run_cli(args_for(sim, dir.path, "zip"));
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(zip_entries(only_file(dir.path)), ElementsAre("tool.txt", "flashfs.bin", "log.txt"));
    // Each pair: a coloured console line, then the log line.
    const std::string pair = "\033[31mbackup\tbackup file not found for action get_backup.\r\n\r\n\033[0m"
                             "backup\tbackup file not found for action get_backup.\r\n";
    std::size_t pairs = 0;
    for (std::size_t at = run.out.find(pair); at != std::string::npos; at = run.out.find(pair, at + 1))
        ++pairs;
    EXPECT_EQ(pairs, 603u);
}

TEST(GetBackup, DirectoryOutputWritesTheSameFiles)
{
    Simulator sim;
    ScratchDir dir;
    const ProcessResult run = run_cli(args_for(sim, dir.path, "", R"(["dali1","cd1","dali_dt1_1_0","views0"])"));
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(run.out, HasSubstr("100% Completed (" + dir.path + ")."));
    Digests sent;
    EXPECT_THAT(served(sim, sent), ElementsAre("tool.txt", "flashfs.bin", "dali1.tar", "cd1.tar", "views0.tar", "log.txt"));
    EXPECT_EQ(fs::file_size(dir.path + "/tool.txt"), 129u);
    EXPECT_EQ(digests_in(dir.path), sent);
}

TEST(GetBackup, IncompleteBackupFailsAndNamesWhatIsMissing)
{
    Simulator going_away({"--refuse-after", "2"});
    ScratchDir dir;
    ProcessResult run = run_cli(args_for(going_away, dir.path, "zip", R"(["dali1","cd1","rlc","views0"])"));
    EXPECT_EQ(run.exit_code, 1);
    const std::string archive = only_file(dir.path);
    EXPECT_THAT(zip_entries(archive), ElementsAre("tool.txt", "flashfs.bin", "dali1.tar", "cd1.tar", "log.txt"));
    EXPECT_THAT(run_process({"unzip", "-p", archive, "log.txt"}).out,
                AllOf(HasSubstr("Missing from the backup: rlc.tar, views0.tar\n"),
                      HasSubstr("Backup incomplete: 2 file(s) missing (" + archive + ").\n")));
    EXPECT_THAT(run.out, Not(HasSubstr("Completed (")));

    // Neither a TAR without status.txt nor a broken flash read is a backup.
    Simulator faulty({"--no-status-txt", "--tftp-cut-after", "3"});
    ScratchDir loose;
    run = run_cli(args_for(faulty, loose.path, "", R"(["dali1"])"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, AllOf(HasSubstr("[WARN] Could not fetch flashfs.bin for backup\r\n"),
                               HasSubstr("Missing from the backup: flashfs.bin, dali1.tar\r\n")));
    EXPECT_TRUE(digests_in(loose.path).empty());

    EXPECT_THAT(asked_for(faulty), ElementsAre("dali1"));
}

TEST(GetBackup, RefusesBadArgumentsBeforeFetching)
{
    Simulator sim;
    ScratchDir dir;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {args_for(sim, dir.path, "tar"), "Unknown output type 'tar'"},
        {args_for(sim, std::string(PATH_MAX, 'd'), "zip"), "Output path too long"},
        {{"--action=get_backup", "--backupfileout=" + dir.path}, "Missing arguments for action get_backup."},
        {{"--action=get_backup", "--ip=" + sim.address()}, "Missing arguments for action get_backup."},
    };
    for (const auto& [args, message] : cases) {
        const ProcessResult run = run_cli(args);
        EXPECT_EQ(run.exit_code, 2) << message;
        EXPECT_THAT(run.out, HasSubstr(message));
    }
    // Callers in the program are held to the same names as the command line.
    for (const std::vector<std::string>& names : {std::vector<std::string>{"dali1", "../dali2"},
                                                  std::vector<std::string>{"a&config=b"}}) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(action_get_backup(sim.address(), dir.path, "zip", names), 2);
        EXPECT_THAT(testing::internal::GetCapturedStdout(), HasSubstr("Invalid configuration name '" + names.back()));
    }
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_TRUE(fs::is_empty(dir.path));
}

struct ProgressRecorder : LogSink {
    std::vector<int> progress;
    std::vector<std::string> lines;
    void insert_line_at_top(LogColour, std::string_view line) override { lines.emplace_back(line); }
    void set_progress(int percent) override { progress.push_back(percent); }
};

TEST(GetBackup, ProgressFollowsTheNameIndex)
{
    Simulator sim;
    ScratchDir dir;
    ProgressRecorder window;
    log_set_sink(&window);
    const std::vector<std::string> names = {"dali1"};
    EXPECT_EQ(action_get_backup(sim.address(), dir.path, "zip", names), 0);
    log_set_sink(nullptr);
    EXPECT_THAT(asked_for(sim), ElementsAre("dali1"));
    // The flash read moves the bar first; then one step per name.
    ASSERT_GE(window.progress.size(), 2u);
    EXPECT_THAT(std::vector<int>(window.progress.end() - 2, window.progress.end()), ElementsAre(0, 100));
    EXPECT_THAT(window.lines, Contains(HasSubstr("0% Backup file dali1.tar...")));
}

TEST(SafetyBackup, BeforeARestoreGoesToTheDownloadFolderWithoutLog)
{
    Simulator sim({"--empty-store"});
    ScratchDir home;
    const std::string downloads = home.path + "/Downloads"; // not there yet
    const std::string backup_file = home.path + "/backup.tar";
    std::ofstream(backup_file) << "not restored";
    const ProcessResult run = run_cli({"--action=put_backup", "--ip=" + sim.address(), "--backupfilein=" + backup_file},
                                      {"HOME=" + home.path, "XDG_CONFIG_HOME=" + home.path + "/.config"});
    EXPECT_THAT(run.out, HasSubstr("Downloading backup before restoring (" + downloads + ")...\r\n"));
    EXPECT_THAT(zip_entries(only_file(downloads)), ElementsAre("tool.txt", "flashfs.bin"));
}

} // namespace
