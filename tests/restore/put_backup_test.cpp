// put_backup in this process against the simulator: which files reach the
// controller, converted how, and what the log window shows.
#include "catalogue/backup_catalogue.h"
#include "restore/action_put_backup.h"
#include "restore/backup_files.h"
#include "restore/config_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;
namespace fs = std::filesystem;

constexpr const char* dali_paths[] = {"/etc/config/dali/dali1.bin", "/etc/config/dali/dali2.bin",
                                      "/etc/config/dali/dali3.bin", "/etc/config/dali/dali4.bin"};
constexpr const char* inputs_paths[] = {"/etc/config/dali/cd1.bin", "/etc/config/dali/cd2.bin",
                                        "/etc/config/dali/cd3.bin", "/etc/config/dali/cd4.bin"};

int put_backup(const Simulator& sim, const fs::path& file)
{
    return action_put_backup(sim.address(), file.string());
}

// The configuration entries of a backup, in archive order.
std::vector<std::string> configuration_entries(const Entries& entries)
{
    std::vector<std::string> names;
    for (const auto& [name, data] : entries)
        if (backup_restore_lookup(name) != nullptr)
            names.push_back(name);
    return names;
}

// The configuration file inside a backup's entry.
Bytes configuration_file(const Entries& backup, const std::string& name)
{
    return tar_member(entry(backup, name), backup_restore_lookup(name)->controller_path);
}

std::vector<std::string> restored_paths(const Simulator& sim)
{
    std::vector<std::string> paths;
    for (const SimRequest& trigger : restore_triggers(sim))
        for (const SimRestoredFile& file : trigger.restored)
            paths.push_back(file.path);
    return paths;
}

std::vector<std::string> paths_of(const std::vector<std::string>& entry_names)
{
    std::vector<std::string> paths;
    for (const std::string& name : entry_names)
        paths.push_back(backup_restore_lookup(name)->controller_path);
    return paths;
}

std::vector<std::string> without(std::vector<std::string> names, const std::vector<std::string>& dropped)
{
    std::erase_if(names, [&](const std::string& n) { return std::ranges::find(dropped, n) != dropped.end(); });
    return names;
}

TEST(PutBackupConversion, OlderChannelFilesBecomeTheFormatOfNewerFirmware)
{
    TempDir dir;
    Simulator old_controller({"--firmware-version", "1.3.0"});
    const fs::path archive = take_backup(old_controller, dir);
    const Entries backup = zip_entries(archive);
    for (const char* firmware : {"1.5.0", "2.2.4"}) {
        SCOPED_TRACE(firmware);
        Simulator sim({"--firmware-version", firmware});
        EXPECT_EQ(put_backup(sim, archive), 0);
        const Entries after = zip_entries(take_backup(sim, dir));
        for (int c = 1; c <= 4; ++c) {
            const std::string name = "dali" + std::to_string(c) + ".tar";
            const Bytes source = tar_member(entry(backup, name), dali_paths[c - 1]);
            ASSERT_EQ(source.size(), 11168u);
            expect_channel_converted(source, 1, tar_member(entry(after, name), dali_paths[c - 1]), 3);
        }
        // Every other file arrived as it was.
        for (const std::string& name : configuration_entries(backup)) {
            if (!name.starts_with("dali") || name.starts_with("dali_")) {
                EXPECT_EQ(sha256_hex(configuration_file(after, name)), sha256_hex(configuration_file(backup, name)))
                    << name;
            }
        }
    }
}

TEST(PutBackupConversion, InputsFilesBecomeFormat3From224)
{
    TempDir dir;
    Simulator older({"--firmware-version", "1.5.0"});
    Simulator newer({"--firmware-version", "2.2.4"});
    const fs::path archive = take_backup(older, dir);
    const Entries backup = zip_entries(archive);
    EXPECT_EQ(put_backup(newer, archive), 0);
    const Entries after = zip_entries(take_backup(newer, dir));
    for (int c = 1; c <= 4; ++c) {
        const std::string cd = "cd" + std::to_string(c) + ".tar";
        const Bytes source = tar_member(entry(backup, cd), inputs_paths[c - 1]);
        ASSERT_EQ(source.size(), 9436u);
        expect_inputs_converted(source, tar_member(entry(after, cd), inputs_paths[c - 1]));
        const std::string dali = "dali" + std::to_string(c) + ".tar";
        EXPECT_EQ(configuration_file(after, dali), configuration_file(backup, dali)); // format 3 both sides
    }
}

TEST(PutBackupConversion, UnsupportedConversionSkipsTheFileAndTheRestGoes)
{
    TempDir dir;
    Simulator newer({"--firmware-version", "2.2.4"});
    Simulator older({"--firmware-version", "1.3.1"});
    const fs::path archive = take_backup(newer, dir);
    const Entries backup = zip_entries(archive);
    LogWindow window;
    EXPECT_EQ(put_backup(older, archive), 1);

    const std::vector<std::string> refused = {"dali1.tar", "dali2.tar", "dali3.tar", "dali4.tar"};
    EXPECT_EQ(restored_paths(older), paths_of(without(configuration_entries(backup), refused)));
    const std::vector<std::string> red = window.texts(colour_red);
    EXPECT_EQ(std::ranges::count(red, "CONFIGURATION dali CONVERSION VERSION 3 to 2 IS NOT SUPPORTED!"), 4);
    EXPECT_EQ(red.back(), "Restore incomplete: 4 file(s) not restored: dali1.tar, dali2.tar, dali3.tar, dali4.tar.");
    // The refused files are still announced before they are judged.
    EXPECT_THAT(window.texts(colour_black), testing::Contains(HasSubstr("Restoring file /etc/config/dali/dali3.bin...")));
}

TEST(PutBackupConversion, WithoutAFirmwareVersionOnlyTheChannelFilesAreHeldBack)
{
    TempDir dir;
    Simulator source;
    Simulator silent({"--status-body", R"({"model_name": "ZANTOR-2"})"});
    const fs::path archive = take_backup(source, dir);
    LogWindow window;
    EXPECT_EQ(put_backup(silent, archive), 1);
    const std::vector<std::string> held = {"dali1.tar", "dali2.tar", "dali3.tar", "dali4.tar",
                                           "cd1.tar",   "cd2.tar",   "cd3.tar",   "cd4.tar"};
    EXPECT_EQ(restored_paths(silent), paths_of(without(configuration_entries(zip_entries(archive)), held)));
    EXPECT_THAT(window.texts(colour_red).back(), HasSubstr("8 file(s) not restored: dali1.tar"));
}

TEST(PutBackupFaults, RefusedUploadAndDroppedTriggerSkipOnlyTheirFiles)
{
    TempDir dir;
    Simulator source;
    // The third upload (schedules) is refused; the fifth trigger (after
    // commanders' upload) goes unanswered.
    Simulator sim({"--tftp-deny-write", "3", "--drop-restore", "5"});
    const fs::path archive = take_backup(source, dir);
    const std::vector<std::string> entries = configuration_entries(zip_entries(archive));
    LogWindow window;
    EXPECT_EQ(put_backup(sim, archive), 1);

    EXPECT_EQ(uploads(sim).size(), entries.size());
    EXPECT_EQ(restored_paths(sim), paths_of(without(entries, {"schedules.tar", "commanders.tar"})));
    const std::vector<std::string> red = window.texts(colour_red);
    EXPECT_THAT(red, testing::Contains("File schedules.tar not restored."));
    EXPECT_THAT(red, testing::Contains("File commanders.tar not restored."));
    EXPECT_EQ(red.back(), "Restore incomplete: 2 file(s) not restored: schedules.tar, commanders.tar.");
    EXPECT_EQ(std::ranges::count(window.texts(colour_green), "File restored."),
              static_cast<std::ptrdiff_t>(entries.size() - 2));
}

TEST(PutBackupArchive, OnlyConfigurationEntriesAreSentEachInATarOfItsOwn)
{
    TempDir dir;
    Simulator sim;
    const Bytes view = text_bytes("a restored view");
    const Bytes status = text_bytes("{\"model_name\": \"ZANTOR-2\"}");
    const fs::path archive = dir / "made.zip";
    write_zip(archive, {{"tool.txt", text_bytes("{\"tool_name\": \"kelpu-cli\", \"version_major\": 1, "
                                                "\"version_minor\": 2, \"version_revision\": 9}")},
                        {"notes/", {}},
                        {"readme.txt", text_bytes("not a configuration")},
                        {"views5.tar", make_tar({{"status.txt", status}})},
                        {"views6.tar", make_tar({{"/etc/config/views/views6.bin", {}}})},
                        {"VIEWS8.tar", make_tar({{"/etc/config/views/views8.bin", view}})},
                        {"views7.tar", make_tar({{"/etc/config/views/views7.bin", view}, {"status.txt", status}})}});
    LogWindow window;
    EXPECT_EQ(put_backup(sim, archive), 1);

    // One upload: a TAR of the one member, then its trigger.
    ASSERT_EQ(uploads(sim).size(), 1u);
    EXPECT_EQ(uploads(sim)[0].bytes, 512u + 512u + 1024u);
    ASSERT_EQ(restore_triggers(sim).size(), 1u);
    const std::vector<SimRestoredFile> restored = restore_triggers(sim)[0].restored;
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_EQ(restored[0].path, "/etc/config/views/views7.bin");
    EXPECT_EQ(restored[0].sha256, sha256_hex(view));

    // The bar runs over all seven entries; the line of views7 (index 6) says 85%.
    EXPECT_THAT(window.progress, ElementsAre(0, 14, 28, 42, 57, 71, 85, 100));
    const std::vector<std::string> black = window.texts(colour_black);
    EXPECT_EQ(black.front(), "85% Restoring file /etc/config/views/views7.bin...");
    EXPECT_EQ(black.back(), "100% Restore operation completed.");
    EXPECT_EQ(window.texts(colour_red).back(), "Restore incomplete: 2 file(s) not restored: views5.tar, views6.tar.");
    EXPECT_EQ(window.texts(colour_green), std::vector<std::string>{"File restored."});
}

TEST(PutBackupArchive, ArchiveWithoutConfigurationFilesIsNoRestore)
{
    TempDir dir;
    Simulator sim;
    const fs::path archive = dir / "other.zip";
    write_zip(archive, {{"readme.txt", text_bytes("a ZIP of something else")}, {"views7.bin", text_bytes("v")}});
    LogWindow window;
    EXPECT_EQ(put_backup(sim, archive), 1);
    EXPECT_THAT(window.texts(colour_red),
                ElementsAre("The archive holds no configuration file; nothing was restored."));
    EXPECT_TRUE(uploads(sim).empty());
}

TEST(PutBackupArchive, ToolRecordOfANewerToolIsRefusedEvenWithoutAController)
{
    TempDir dir;
    Simulator sim({"--refuse"});
    const fs::path newer = dir / "newer.zip";
    write_zip(newer, {{"tool.txt", text_bytes("{\"tool_name\": \"kelpu-cli\", \"version_major\": 1, "
                                              "\"version_minor\": 3, \"version_revision\": 1}")},
                      {"views7.tar", make_tar({{"/etc/config/views/views7.bin", text_bytes("v")}})}});
    const fs::path unchecked = dir / "unchecked.zip";
    write_zip(unchecked, {{"views7.tar", make_tar({{"/etc/config/views/views7.bin", text_bytes("v")}})}});
    LogWindow window;
    EXPECT_EQ(put_backup(sim, newer), 2);
    EXPECT_EQ(put_backup(sim, unchecked), 1);
    // Besides these, the status exchange names its own failure.
    EXPECT_THAT(window.texts(colour_red),
                IsSupersetOf({"The backup is not supported by the installed tool version. Please upgrade the tool software.",
                              "Could not read the controller status; nothing was restored."}));
    EXPECT_TRUE(uploads(sim).empty());
}

TEST(PutBackupTar, FileThatIsNeitherZipNorTarIsReportedWithTheTarCode)
{
    TempDir dir;
    Simulator sim;
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {text_bytes("short text"), "Error -3 opening tar file."},
        {Bytes(1024, 0), "Error -7 opening tar file."},
        {Bytes(600, 'x'), "Error -6 opening tar file."},
        {{}, "Error -3 opening tar file."},
    };
    for (const auto& [content, message] : cases) {
        write_bytes(dir / "input", content);
        LogWindow window;
        EXPECT_EQ(put_backup(sim, dir / "input"), 1);
        EXPECT_THAT(window.texts(colour_red), ElementsAre(message));
    }
    EXPECT_TRUE(uploads(sim).empty());
}

TEST(PutBackupArguments, MissingOrUnopenableInputIsRefusedBeforeAnyRequest)
{
    TempDir dir;
    Simulator sim;
    LogWindow window;
    EXPECT_EQ(action_put_backup(std::nullopt, (dir / "x").string()), 2);
    EXPECT_EQ(action_put_backup(sim.address(), std::nullopt), 2);
    EXPECT_EQ(action_put_backup(sim.address(), ""), 2);
    EXPECT_EQ(put_backup(sim, dir / "absent.zip"), 2);
    EXPECT_EQ(put_backup(sim, dir.path), 2);
    EXPECT_EQ(put_backup(sim, std::string(5000, 'p')), 2);
    EXPECT_THAT(window.texts(colour_red),
                ElementsAre("Missing arguments for action put_backup.", "Missing arguments for action put_backup.",
                            "Missing arguments for action put_backup.",
                            "Cannot open the backup file '" + (dir / "absent.zip").string() +
                                "': No such file or directory.",
                            "Cannot open the backup file '" + dir.path.string() + "': it is a folder.",
                            "Backup file path is too long (5000 characters); nothing was restored."));
    EXPECT_TRUE(sim.requests().empty());
}

} // namespace
