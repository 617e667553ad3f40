#include "catalogue/backup_catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(BackupCatalogue, DownloadListOrder)
{
    const auto names = backup_config_names();
    ASSERT_EQ(names.size(), 603u);
    EXPECT_EQ(names[0], "systemconfig");
    EXPECT_EQ(names[26], "cmdrnamenvp");
    EXPECT_EQ(names[27], "dali_dt1_1_0");
    EXPECT_EQ(names[37], "dali_dt1_1_10");
    EXPECT_EQ(names[91], "dali_dt1_2_0");
    EXPECT_EQ(names[283], "dali_dt8_1_0");
    EXPECT_EQ(names[539], "views0");
    EXPECT_EQ(names[602], "views63");
}

TEST(BackupCatalogue, RestoreTableCoversTheDownloadListOnce)
{
    const auto names = backup_config_names();
    const auto table = backup_restore_table();
    ASSERT_EQ(table.size(), 604u);
    EXPECT_EQ(table[603].index, 603u);
    EXPECT_TRUE(table[603].tar_name.empty() && table[603].controller_path.empty());

    std::set<std::string> paths;
    for (std::size_t i = 0; i < 603; ++i) {
        EXPECT_EQ(table[i].index, i);
        EXPECT_TRUE(paths.insert(table[i].controller_path).second) << table[i].controller_path;
        if (i >= 27) {
            EXPECT_EQ(table[i].tar_name, names[i] + ".tar");
        }
    }
    for (const std::string& name : names) {
        int rows = 0;
        for (const BackupRestoreRow& row : table) {
            rows += row.tar_name == name + ".tar";
        }
        EXPECT_EQ(rows, 1) << name;
    }
    EXPECT_EQ(table[5].controller_path, "/etc/config/dali/dali4.bin");
    EXPECT_EQ(table[9].controller_path, "/etc/config/dali/cd4.bin");
    EXPECT_EQ(table[27].controller_path, "/etc/config/dali/dali_dt1_1_0.bin");
    EXPECT_EQ(table[538].controller_path, "/etc/config/dali/dali_dt8_4_63.bin");
    EXPECT_EQ(table[602].controller_path, "/etc/config/views/views63.bin");
}

TEST(BackupCatalogue, LookupByEntryName)
{
    const BackupRestoreRow* schedules = backup_restore_lookup("schedules.tar");
    ASSERT_NE(schedules, nullptr);
    EXPECT_EQ(schedules->index, 14u);
    EXPECT_EQ(schedules->controller_path, "/etc/config/schedule/schedule.bin");
    const BackupRestoreRow* commanders = backup_restore_lookup("commanders.tar");
    ASSERT_NE(commanders, nullptr);
    EXPECT_EQ(commanders->index, 17u);
    EXPECT_EQ(commanders->controller_path, "/etc/config/cmdr/cmdr.bin");
    // cd1 is a channel's input file, converted on restore (rows 6 to 9); daincd1 is copied as it is.
    const BackupRestoreRow* inputs = backup_restore_lookup("cd1.tar");
    ASSERT_NE(inputs, nullptr);
    EXPECT_EQ(inputs->index, 6u);
    EXPECT_EQ(inputs->controller_path, "/etc/config/dali/cd1.bin");
    const BackupRestoreRow* copied = backup_restore_lookup("daincd1.tar");
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->index, 10u);
    EXPECT_EQ(copied->controller_path, "/etc/config/nvp/daincd1.bin");

    for (const char* name : {"tool.txt", "", "schedules", "SCHEDULES.tar", "dali5.tar", "cd5.tar",
                             "dali_dt1_5_0.tar", "dali_dt8_1_64.tar", "views64.tar"}) {
        EXPECT_EQ(backup_restore_lookup(name), nullptr) << '"' << name << '"';
    }
}
