// Backups as a user takes them: the built utility (and, for the progress
// bar, the action in this process) against the simulator over loopback;
// archives are read back with unzip and files digested with sha256sum.
#include "action/get_backup.h"
#include "catalogue/backup_catalogue.h"
#include "log/log.h"
#include "support/run_process.h"
#include "support/simulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
namespace fs = std::filesystem;

const std::string tool_record = "{\n  \"tool_name\": \"kelpu-cli\",\n  \"version_major\": 1,\n"
                                "  \"version_minor\": 3,\n  \"version_revision\": 0,\n"
                                "  \"version_string\": \"1.3.0\"\n}\n";

struct ScratchDir {
    std::string path = [] {
        std::string pattern = fs::temp_directory_path() / "kelpu-backup-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        return pattern;
    }();
    ~ScratchDir() { fs::remove_all(path); }
};

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// File name to SHA-256, as coreutils computes them for every file there.
std::map<std::string, std::string> digests_in(const std::string& folder)
{
    std::vector<std::string> command = {"sha256sum"};
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        command.push_back(entry.path().string());
    std::map<std::string, std::string> digests;
    for (const std::string& line : lines_of(run_process(command).out))
        digests[fs::path(line.substr(66)).filename().string()] = line.substr(0, 64);
    return digests;
}

// What a good backup holds, from the simulator's own record of what it sent:
// the configurations it had, in catalogue order, with their digests.
std::map<std::string, std::string> served(const Simulator& sim, std::vector<std::string>& entries)
{
    std::map<std::string, std::string> digests;
    entries = {"tool.txt", "flashfs.bin"};
    for (const SimRequest& request : sim.requests()) {
        if (request.kind == "RRQ")
            digests[request.path] = request.sha256;
        else if (request.outcome == "ok") {
            entries.push_back(request.query.substr(request.query.find('=') + 1) + ".tar");
            digests[entries.back()] = request.sha256;
        }
    }
    entries.push_back("log.txt");
    return digests;
}

std::string only_file(const std::string& folder)
{
    std::vector<fs::path> files(fs::directory_iterator(folder), fs::directory_iterator{});
    EXPECT_EQ(files.size(), 1u);
    return files.empty() ? "" : files[0].string();
}

std::vector<std::string> zip_entries(const std::string& archive)
{
    return lines_of(run_process({"unzip", "-Z1", archive}).out);
}

std::vector<std::string> backup_args(const Simulator& sim, const std::string& folder, const std::string& more)
{
    return {"--action=get_backup", "--ip=" + sim.address(), "--backupfileout=" + folder, more};
}

TEST(GetBackup, ArchiveHoldsEveryConfigurationAsServed)
{
    Simulator sim;
    ScratchDir dir;
    const ProcessResult run = run_cli(backup_args(sim, dir.path, "--backupfileouttype=zip"));
    EXPECT_EQ(run.exit_code, 0);
    const std::string archive = only_file(dir.path);
    const std::regex pattern(dir.path + "/backup_127\\.0\\.0\\.1_" + std::to_string(sim.port()) +
                             "_ZANTOR_20[0-9]{6}_[0-9]{6}\\.zip");
    EXPECT_TRUE(std::regex_match(archive, pattern)) << archive;

    std::vector<std::string> queries;
    for (const SimRequest& request : sim.requests()) {
        if (request.kind == "GET")
            queries.push_back(request.query.substr(request.query.find('=') + 1));
    }
    EXPECT_THAT(queries, ElementsAreArray(backup_config_names()));
    std::vector<std::string> entries;
    const std::map<std::string, std::string> digests = served(sim, entries);
    EXPECT_GT(entries.size(), 20u);
    EXPECT_EQ(zip_entries(archive), entries);

    EXPECT_EQ(run_process({"unzip", "-tq", archive}).exit_code, 0);
    ASSERT_EQ(run_process({"unzip", "-q", archive, "-d", dir.path + "/x"}).exit_code, 0);
    std::map<std::string, std::string> stored = digests_in(dir.path + "/x");
    EXPECT_EQ(run_process({"cat", dir.path + "/x/tool.txt"}).out, tool_record);
    EXPECT_THAT(run_process({"cat", dir.path + "/x/log.txt"}).out,
                AllOf(HasSubstr("0% Backup file systemconfig.tar...\n"),
                      HasSubstr("\n100% Completed (" + archive + ").\n")));
    stored.erase("tool.txt");
    stored.erase("log.txt");
    EXPECT_EQ(stored, digests);
}

TEST(GetBackup, ConfigurationsTheControllerLacksAreNoFailure)
{
    Simulator sim({"--empty-store", "--flash-size", "4096"});
    ScratchDir dir;
    const ProcessResult run = run_cli(backup_args(sim, dir.path, "--backupfileouttype=zip"));
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(zip_entries(only_file(dir.path)), ElementsAre("tool.txt", "flashfs.bin", "log.txt"));
    EXPECT_EQ(count_of(run.out, "\033[31mbackup\tbackup file not found for action get_backup.\r\n\r\n\033[0m"), 603u);
    EXPECT_EQ(count_of(run.out, "backup\tbackup file not found for action get_backup.\r\n"), 2 * 603u);
    EXPECT_THAT(run.out, HasSubstr("100% Completed ("));
}

TEST(GetBackup, IncompleteBackupFailsAndNamesWhatIsMissing)
{
    const std::string four = R"(--backupconfig=["dali1","cd1","rlc","views0"])";
    Simulator going_away({"--refuse-after", "2"});
    ScratchDir dir;
    std::vector<std::string> args = backup_args(going_away, dir.path, "--backupfileouttype=zip");
    args.push_back(four);
    ProcessResult run = run_cli(args);
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
    run = run_cli(backup_args(faulty, loose.path, R"(--backupconfig=["dali1"])"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, AllOf(HasSubstr("[WARN] Could not fetch flashfs.bin for backup\r\n"),
                               HasSubstr("Missing from the backup: flashfs.bin, dali1.tar\r\n")));
    EXPECT_EQ(digests_in(loose.path).size(), 2u); // tool.txt and log.txt

    // Nowhere to write: nothing is fetched for an archive that cannot be made.
    run = run_cli(backup_args(faulty, loose.path + "/none", "--backupfileouttype=zip"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("Could not open zip file for writing: " + loose.path + "/none/backup_"));
    run = run_cli(backup_args(faulty, loose.path + "/none", "--backupfileouttype=directory"));
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_THAT(run.out, HasSubstr("Could not write file: " + loose.path + "/none/tool.txt\r\n"));
}

TEST(GetBackup, DirectoryOutputWritesTheSameFiles)
{
    Simulator sim;
    ScratchDir dir;
    std::vector<std::string> args = backup_args(sim, dir.path, R"(--backupconfig=["dali1","cd1","dali_dt1_1_0","views0"])");
    const ProcessResult run = run_cli(args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_THAT(run.out, HasSubstr("100% Completed (" + dir.path + ")."));
    std::vector<std::string> entries;
    std::map<std::string, std::string> expected = served(sim, entries);
    EXPECT_THAT(entries, ElementsAre("tool.txt", "flashfs.bin", "dali1.tar", "cd1.tar", "views0.tar", "log.txt"));
    std::map<std::string, std::string> stored = digests_in(dir.path);
    EXPECT_EQ(fs::file_size(dir.path + "/tool.txt"), 129u);
    EXPECT_EQ(stored.erase("tool.txt") + stored.erase("log.txt"), 2u);
    EXPECT_EQ(stored, expected);
}

TEST(GetBackup, RefusesBadArgumentsBeforeFetching)
{
    Simulator sim;
    ScratchDir dir;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {backup_args(sim, dir.path, R"(--backupconfig=["dali1","../dali2"])"), "Invalid configuration name '../dali2'"},
        {backup_args(sim, dir.path, R"(--backupconfig=["a&config=b"])"), "Invalid configuration name 'a&config=b'"},
        {backup_args(sim, dir.path, "--backupfileouttype=tar"), "Unknown output type 'tar'"},
        {backup_args(sim, std::string(PATH_MAX, 'd'), "--backupfileouttype=zip"), "Output path too long"},
        {{"--action=get_backup", "--backupfileout=" + dir.path}, "Missing arguments for action get_backup."},
        {{"--action=get_backup", "--ip=" + sim.address()}, "Missing arguments for action get_backup."},
    };
    for (const auto& [args, message] : cases) {
        const ProcessResult run = run_cli(args);
        EXPECT_EQ(run.exit_code, 2) << message;
        EXPECT_THAT(run.out, HasSubstr(message));
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
    Simulator sim({"--flash-size", "1000"});
    ScratchDir dir;
    ProgressRecorder window;
    log_set_sink(&window);
    const std::vector<std::string> names = {"dali1"};
    const int result = action_get_backup(sim.address(), dir.path, "zip", names);
    log_set_sink(nullptr);
    EXPECT_EQ(result, 0);
    std::vector<std::string> gets;
    for (const SimRequest& request : sim.requests()) {
        if (request.kind == "GET")
            gets.push_back(request.query);
    }
    EXPECT_THAT(gets, ElementsAre("config=dali1"));
    // The flash read moves the bar first; then one step per name.
    ASSERT_GE(window.progress.size(), 2u);
    EXPECT_THAT(std::vector<int>(window.progress.end() - 2, window.progress.end()), ElementsAre(0, 100));
    EXPECT_THAT(window.lines, Contains(HasSubstr("0% Backup file dali1.tar...")));
}

TEST(SafetyBackup, BeforeARestoreGoesToTheDownloadFolderWithoutLog)
{
    Simulator sim({"--empty-store", "--flash-size", "4096"});
    ScratchDir home;
    const std::string downloads = home.path + "/Downloads";
    fs::create_directory(downloads);
    const ProcessResult run = run_cli({"--action=put_backup", "--ip=" + sim.address()},
                                      {"HOME=" + home.path, "XDG_CONFIG_HOME=" + home.path + "/.config"});
    EXPECT_THAT(run.out, HasSubstr("Downloading backup before restoring (" + downloads + ")...\r\n"));
    EXPECT_THAT(zip_entries(only_file(downloads)), ElementsAre("tool.txt", "flashfs.bin"));
}

} // namespace
