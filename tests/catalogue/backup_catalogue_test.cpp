#include "catalogue/backup_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(BackupConfigNames, HoldsTheFilesInDownloadOrder)
{
    const auto names = backup_config_names();
    ASSERT_EQ(names.size(), 603u);
    EXPECT_EQ(names[0], "systemconfig");
    EXPECT_EQ(names[5], "commanders");
    EXPECT_EQ(names[10], "cd1");
    EXPECT_EQ(names[14], "daincd1");
    EXPECT_EQ(names[26], "cmdrnamenvp");
    EXPECT_EQ(names[27], "dali_dt1_1_0");
    EXPECT_EQ(names[36], "dali_dt1_1_9");
    EXPECT_EQ(names[37], "dali_dt1_1_10");
    EXPECT_EQ(names[91], "dali_dt1_2_0");
    EXPECT_EQ(names[282], "dali_dt1_4_63");
    EXPECT_EQ(names[283], "dali_dt8_1_0");
    EXPECT_EQ(names[538], "dali_dt8_4_63");
    EXPECT_EQ(names[539], "views0");
    EXPECT_EQ(names[602], "views63");

    const std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size());
    for (const std::string& name : names) {
        EXPECT_EQ(name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_"), std::string::npos) << name;
    }
}

TEST(BackupRestoreTable, MatchesTheDownloadListRowForRow)
{
    const auto names = backup_config_names();
    const auto table = backup_restore_table();
    ASSERT_EQ(table.size(), 604u);

    const BackupRestoreRow& end = table.back();
    EXPECT_EQ(end.index, 603u);
    EXPECT_TRUE(end.tar_name.empty());
    EXPECT_TRUE(end.controller_path.empty());

    std::set<std::string> paths;
    for (std::size_t i = 0; i < 603; ++i) {
        const BackupRestoreRow& row = table[i];
        EXPECT_EQ(row.index, i);
        EXPECT_TRUE(row.controller_path.starts_with("/etc/config/")) << row.controller_path;
        EXPECT_TRUE(row.controller_path.ends_with(".bin")) << row.controller_path;
        EXPECT_TRUE(paths.insert(row.controller_path).second) << "path used twice: " << row.controller_path;
        if (i >= 27) {
            // Past the head both tables list the same files in the same order.
            EXPECT_EQ(row.tar_name, names[i] + ".tar");
        }
    }
    for (const std::string& name : names) {
        int rows = 0;
        for (const BackupRestoreRow& row : table) {
            rows += row.tar_name == name + ".tar";
        }
        EXPECT_EQ(rows, 1) << name;
    }
}

TEST(BackupRestoreTable, PathsFollowTheFolderRules)
{
    const auto table = backup_restore_table();
    EXPECT_EQ(table[0].controller_path, "/etc/config/system/systemconfig.bin");
    EXPECT_EQ(table[1].controller_path, "/etc/config/bastimeout/bastimeout.bin");
    EXPECT_EQ(table[16].controller_path, "/etc/config/rlc/rlc.bin");
    EXPECT_EQ(table[15].controller_path, "/etc/config/schedule/scheduleastro.bin");
    EXPECT_EQ(table[26].controller_path, "/etc/config/nvp/cmdrnamenvp.bin");
    EXPECT_EQ(table[27].controller_path, "/etc/config/dali/dali_dt1_1_0.bin");
    EXPECT_EQ(table[538].controller_path, "/etc/config/dali/dali_dt8_4_63.bin");
    EXPECT_EQ(table[602].controller_path, "/etc/config/views/views63.bin");
    // Rows 2 to 9 are the files that restore converts, channel by channel.
    for (unsigned channel = 1; channel <= 4; ++channel) {
        EXPECT_EQ(table[1 + channel].controller_path, "/etc/config/dali/dali" + std::to_string(channel) + ".bin");
        EXPECT_EQ(table[5 + channel].controller_path, "/etc/config/dali/cd" + std::to_string(channel) + ".bin");
    }
}

TEST(BackupRestoreLookup, FindsArchiveEntriesByExactName)
{
    const BackupRestoreRow* schedules = backup_restore_lookup("schedules.tar");
    ASSERT_NE(schedules, nullptr);
    EXPECT_EQ(schedules->index, 14u);
    EXPECT_EQ(schedules->controller_path, "/etc/config/schedule/schedule.bin");

    const BackupRestoreRow* commanders = backup_restore_lookup("commanders.tar");
    ASSERT_NE(commanders, nullptr);
    EXPECT_EQ(commanders->index, 17u);
    EXPECT_EQ(commanders->controller_path, "/etc/config/cmdr/cmdr.bin");

    const BackupRestoreRow* cd1 = backup_restore_lookup("cd1.tar");
    ASSERT_NE(cd1, nullptr);
    EXPECT_EQ(cd1->index, 6u);
    EXPECT_EQ(cd1->controller_path, "/etc/config/dali/cd1.bin");

    const BackupRestoreRow* daincd1 = backup_restore_lookup("daincd1.tar");
    ASSERT_NE(daincd1, nullptr);
    EXPECT_EQ(daincd1->index, 10u);
    EXPECT_EQ(daincd1->controller_path, "/etc/config/nvp/daincd1.bin");

    const BackupRestoreRow* view = backup_restore_lookup("views63.tar");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->index, 602u);
}

TEST(BackupRestoreLookup, IgnoresEntriesThatAreNotConfigurationFiles)
{
    for (const char* name : {"tool.txt", "flashfs.bin", "log.txt", "", "schedules", "SCHEDULES.tar", "Dali1.tar",
                             "dali5.tar", "cd5.tar", "daincd5.tar", "dali_dt1_5_0.tar", "dali_dt8_5_63.tar",
                             "dali_dt1_1_64.tar", "views64.tar", "schedules.tar ", "/schedules.tar"}) {
        EXPECT_EQ(backup_restore_lookup(name), nullptr) << '"' << name << '"';
    }
}
