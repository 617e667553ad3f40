// put_backup as a technician starts it: the built utility, a safety backup
// into the download folder first, then the restore.
#include "catalogue/backup_catalogue.h"
#include "restore/backup_files.h"
#include "support/run_process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

std::vector<std::string> home_env(const TempDir& home)
{
    return {"HOME=" + home.path.string(), "XDG_CONFIG_HOME=" + (home / "config").string()};
}

std::size_t padded(std::size_t size)
{
    return (size + 511) / 512 * 512;
}

TEST(PutBackupRun, RoundTripAtTheSameFirmwareGivesBackEveryFile)
{
    TempDir dir;
    Simulator source({"--firmware-version", "1.5.0"});
    Simulator fresh({"--firmware-version", "1.5.0", "--empty-store"});
    const fs::path archive = take_backup(source, dir);
    const Entries backup = zip_entries(archive);

    const ProcessResult run = run_cli({"--action=put_backup", "--ip=" + fresh.address(),
                                       "--backupfilein=" + archive.string()},
                                      home_env(dir));
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("Downloading backup before restoring (" + (dir / "Downloads").string() + ")...\r\n"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "Downloads"), fs::directory_iterator()), 1);
    EXPECT_THAT(run.out, HasSubstr("model_name=ZANTOR-2\r\n"));
    EXPECT_THAT(run.out, HasSubstr("100% Restore operation completed.\r\n"));
    EXPECT_THAT(run.out, Not(HasSubstr("not restored")));

    // The whole safety backup comes first; then per configuration entry, in
    // archive order, one upload of a one-member TAR and one trigger.
    const std::vector<SimRequest> requests = fresh.requests();
    const auto first_upload =
        std::find_if(requests.begin(), requests.end(), [](const SimRequest& r) { return r.kind == "WRQ"; });
    EXPECT_EQ(std::count_if(requests.begin(), first_upload,
                            [](const SimRequest& r) { return r.path == "/api/v100/backup.ssi"; }),
              603);
    std::vector<std::pair<std::string, const Bytes*>> files;
    for (const auto& [name, tar] : backup)
        if (const BackupRestoreRow* row = backup_restore_lookup(name))
            files.emplace_back(row->controller_path, &tar);
    ASSERT_EQ(std::distance(first_upload, requests.end()), static_cast<std::ptrdiff_t>(2 * files.size()));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const SimRequest& upload = first_upload[2 * i];
        const SimRequest& trigger = first_upload[2 * i + 1];
        const Bytes file = tar_member(*files[i].second, files[i].first);
        EXPECT_EQ(upload.kind, "WRQ");
        EXPECT_EQ(upload.bytes, 512 + padded(file.size()) + 1024) << files[i].first;
        ASSERT_EQ(trigger.restored.size(), 1u);
        EXPECT_EQ(trigger.restored[0].path, files[i].first);
        EXPECT_EQ(trigger.restored[0].sha256, sha256_hex(file)) << files[i].first;
    }
    const std::size_t entry_count = backup.size();
    EXPECT_THAT(run.out, HasSubstr(std::to_string(100 * 2 / entry_count) +
                                   "% Restoring file /etc/config/system/systemconfig.bin...\r\n"));

    // The fresh controller now backs up exactly as the source did.
    const Entries again = zip_entries(take_backup(fresh, dir));
    ASSERT_EQ(again.size(), backup.size());
    for (std::size_t i = 0; i < backup.size(); ++i) {
        EXPECT_EQ(again[i].first, backup[i].first);
        if (backup[i].first != "log.txt") {
            EXPECT_EQ(sha256_hex(again[i].second), sha256_hex(backup[i].second)) << backup[i].first;
        }
    }
}

TEST(PutBackupRun, PlainTarGoesUnchangedInOneUploadAndOneTrigger)
{
    TempDir dir;
    Simulator sim({"--empty-store"});
    write_bytes(dir / "views7.bin", text_bytes("seven"));
    write_bytes(dir / "views8.bin", text_bytes("eight"));
    const fs::path tar = dir / "views.tar";
    // Made by GNU tar, absolute member names kept.
    const ProcessResult made = run_process({"tar", "--format=ustar", "-P", "-cf", tar.string(), "--transform",
                                            "s|^.*/\\(views[78].bin\\)$|/etc/config/views/\\1|",
                                            (dir / "views7.bin").string(), (dir / "views8.bin").string()});
    ASSERT_EQ(made.exit_code, 0) << made.err;

    const ProcessResult run =
        run_cli({"--action=put_backup", "--ip=" + sim.address(), "--backupfilein=" + tar.string()}, home_env(dir));
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("File restored.\r\nOK\n"));
    const std::vector<SimRequest> sent = uploads(sim);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].sha256, sha256sum_of(tar));
    const std::vector<SimRequest> triggers = restore_triggers(sim);
    ASSERT_EQ(triggers.size(), 1u);
    ASSERT_EQ(triggers[0].restored.size(), 2u);
    EXPECT_EQ(triggers[0].restored[1].path, "/etc/config/views/views8.bin");
    EXPECT_EQ(triggers[0].restored[1].sha256, sha256_hex(text_bytes("eight")));
}

TEST(PutBackupRun, AFileTheControllerRefusesIsNotRestored)
{
    TempDir dir;
    Simulator sim({"--empty-store"});
    // A channel file whose checksum is wrong: the controller keeps its own.
    write_bytes(dir / "dali1.bin", Bytes(7072, 0));
    const fs::path tar = dir / "dali1.tar";
    const ProcessResult made = run_process({"tar", "--format=ustar", "-P", "-cf", tar.string(), "--transform",
                                            "s|^.*/dali1.bin$|/etc/config/dali/dali1.bin|",
                                            (dir / "dali1.bin").string()});
    ASSERT_EQ(made.exit_code, 0) << made.err;

    const ProcessResult run =
        run_cli({"--action=put_backup", "--ip=" + sim.address(), "--backupfilein=" + tar.string()}, home_env(dir));
    EXPECT_EQ(run.exit_code, 1) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("Restore request failed, the controller refused the request (HTTP status 400)."));
    EXPECT_THAT(run.out, Not(HasSubstr("File restored.")));
    const std::vector<SimRequest> triggers = restore_triggers(sim);
    ASSERT_EQ(triggers.size(), 1u);
    EXPECT_EQ(triggers[0].outcome, "rejected");
}

TEST(PutBackupRun, UnusableArgumentsAreRefusedBeforeTheSafetyBackup)
{
    TempDir dir;
    Simulator sim;
    const std::vector<std::vector<std::string>> cases = {
        {"--action=put_backup", "--ip=" + sim.address()},
        {"--action=put_backup", "--backupfilein=" + (dir / "x.zip").string()},
        {"--action=put_backup", "--ip=" + sim.address(), "--backupfilein=" + (dir / "absent.zip").string()},
    };
    for (const std::vector<std::string>& args : cases) {
        const ProcessResult run = run_cli(args, home_env(dir));
        EXPECT_EQ(run.exit_code, 2) << run.out;
        EXPECT_THAT(run.out, Not(HasSubstr("Downloading backup")));
    }
    EXPECT_TRUE(sim.requests().empty());
    EXPECT_FALSE(fs::exists(dir / "Downloads"));
}

TEST(PutBackupRun, FailedFilesGiveExitStatus1AndARedSummary)
{
    TempDir dir;
    Simulator source;
    const fs::path archive = take_backup(source, dir);
    // The safety backup makes no upload; the second of the restore is refused.
    Simulator sim({"--tftp-deny-write", "2"});
    const ProcessResult run =
        run_cli({"--action=put_backup", "--ip=" + sim.address(), "--backupfilein=" + archive.string()}, home_env(dir));
    EXPECT_EQ(run.exit_code, 1) << run.out;
    EXPECT_THAT(run.out, HasSubstr("Restore incomplete: 1 file(s) not restored: bastimeout.tar.\r\n"));
    EXPECT_EQ(uploads(sim).size() - 1, restore_triggers(sim).size());
}

} // namespace
