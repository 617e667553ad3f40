#include "mzsimple/mzsimple.h"
#include "mzsimple/zip_peers.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

namespace {

void add_entry(ZipArchive& zip, const std::string& name, const std::vector<std::uint8_t>& content)
{
    ASSERT_EQ(mzsimple_entry_open(zip, name), 0) << name;
    ASSERT_EQ(mzsimple_entry_write(zip, content), 0);
    ASSERT_EQ(mzsimple_entry_close(zip), 0);
}

std::vector<std::uint8_t> text_bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

} // namespace

TEST(MzsimpleWrite, BackupArchiveIsReadByOtherTools)
{
    ScratchDir dir;
    const std::string path = dir.file("backup.zip");
    const std::string tool = R"({"tool_name":"kelpu-cli","version_major":1})";
    const std::vector<std::uint8_t> tar = pattern_bytes(20000);
    const std::time_t before = std::time(nullptr);

    auto zip = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(zip);
    ASSERT_EQ(mzsimple_entry_open(*zip, "tool.txt"), 0);
    ASSERT_EQ(mzsimple_entry_write(*zip, tool), 0);
    ASSERT_EQ(mzsimple_entry_close(*zip), 0);
    // One entry written in several pieces.
    ASSERT_EQ(mzsimple_entry_open(*zip, "systemconfig.tar"), 0);
    ASSERT_EQ(mzsimple_entry_write(*zip, std::span(tar).first(7000)), 0);
    ASSERT_EQ(mzsimple_entry_write(*zip, std::span(tar).subspan(7000)), 0);
    EXPECT_EQ(mzsimple_entry_size(*zip), tar.size());
    ASSERT_EQ(mzsimple_entry_close(*zip), 0);
    add_entry(*zip, "log.txt", text_bytes("line one\nline two\n"));
    EXPECT_EQ(mzsimple_entries_total(*zip), 3);
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);

    EXPECT_EQ(unzip_test(path), 0);
    const std::vector<PeerEntry> entries = python_zip_entries(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "tool.txt");
    EXPECT_EQ(entries[1].name, "systemconfig.tar");
    EXPECT_EQ(entries[2].name, "log.txt");
    EXPECT_EQ(entries[0].content, text_bytes(tool));
    EXPECT_EQ(entries[1].content, tar);
    EXPECT_EQ(entries[2].content, text_bytes("line one\nline two\n"));
    for (const PeerEntry& entry : entries) {
        EXPECT_EQ(entry.method, 8) << entry.name;
        // DOS times have a two-second grain.
        EXPECT_GE(entry.mtime, before - 2) << entry.name;
        EXPECT_LE(entry.mtime, std::time(nullptr) + 2) << entry.name;
    }
    EXPECT_LT(entries[1].compressed_size, tar.size() / 4);
}

TEST(MzsimpleWrite, LevelChoosesStoredOrDeflated)
{
    ScratchDir dir;
    const std::vector<std::uint8_t> data = pattern_bytes(50000);
    for (const int level : {-1, 0, 1, 9, 10}) {
        const std::string path = dir.file("level" + std::to_string(level + 1) + ".zip");
        auto zip = mzsimple_open(path, level, 'w');
        ASSERT_TRUE(zip) << level;
        add_entry(*zip, "a.bin", data);
        ASSERT_EQ(mzsimple_close(std::move(zip)), 0);

        const std::vector<PeerEntry> entries = python_zip_entries(path);
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].content, data);
        if (level == 0) {
            EXPECT_EQ(entries[0].method, 0);
            EXPECT_EQ(entries[0].compressed_size, data.size());
        } else {
            EXPECT_EQ(entries[0].method, 8) << level;
            EXPECT_LT(entries[0].compressed_size, data.size() / 4) << level;
        }
    }
}

TEST(MzsimpleWrite, RefusesWhatCannotBeOpened)
{
    ScratchDir dir;
    EXPECT_FALSE(mzsimple_open(dir.file("eleven.zip"), 11, 'w'));
    EXPECT_FALSE(std::filesystem::exists(dir.file("eleven.zip")));
    EXPECT_FALSE(mzsimple_open(dir.file("mode.zip"), 6, 'x'));
    EXPECT_FALSE(mzsimple_open("", 6, 'w'));
    EXPECT_FALSE(mzsimple_open(dir.file("missing/b.zip"), 6, 'w'));
    EXPECT_FALSE(mzsimple_open(dir.file("absent.zip"), 6, 'a'));
    EXPECT_EQ(mzsimple_close(nullptr), 0);
}

TEST(MzsimpleWrite, EmptyEntriesAndArchivesAreValid)
{
    ScratchDir dir;
    const std::string path = dir.file("empty-entry.zip");
    auto zip = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(zip);
    ASSERT_EQ(mzsimple_entry_open(*zip, "empty.tar"), 0);
    EXPECT_EQ(mzsimple_entry_write(*zip, std::span<const std::uint8_t>()), 0);
    ASSERT_EQ(mzsimple_entry_close(*zip), 0);
    add_entry(*zip, "after.txt", text_bytes("x"));
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);
    EXPECT_EQ(unzip_test(path), 0);
    const std::vector<PeerEntry> entries = python_zip_entries(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "empty.tar");
    EXPECT_EQ(entries[0].size, 0u);
    EXPECT_EQ(entries[1].content, text_bytes("x"));

    // An archive opened for writing and closed at once is an empty ZIP file,
    // also where a non-empty one was before.
    auto none = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(none);
    ASSERT_EQ(mzsimple_close(std::move(none)), 0);
    EXPECT_TRUE(python_zip_entries(path).empty());
    auto reread = mzsimple_open(path, 0, 'r');
    ASSERT_TRUE(reread);
    EXPECT_EQ(mzsimple_entries_total(*reread), 0);
}

TEST(MzsimpleWrite, AppendAddsAfterTheExistingEntries)
{
    ScratchDir dir;
    const std::string path = dir.file("append.zip");
    auto zip = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(zip);
    add_entry(*zip, "one.txt", text_bytes("first"));
    add_entry(*zip, "two.bin", pattern_bytes(3000));
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);

    auto more = mzsimple_open(path, 0, 'a');
    ASSERT_TRUE(more);
    EXPECT_EQ(mzsimple_entries_total(*more), 2);
    EXPECT_EQ(mzsimple_entry_open(*more, "one.txt"), -1); // already there
    add_entry(*more, "three.txt", text_bytes("third"));
    ASSERT_EQ(mzsimple_close(std::move(more)), 0);

    EXPECT_EQ(unzip_test(path), 0);
    const std::vector<PeerEntry> entries = python_zip_entries(path);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "one.txt");
    EXPECT_EQ(entries[0].content, text_bytes("first"));
    EXPECT_EQ(entries[1].content, pattern_bytes(3000));
    EXPECT_EQ(entries[1].method, 8);
    EXPECT_EQ(entries[2].name, "three.txt");
    EXPECT_EQ(entries[2].method, 0);
    EXPECT_EQ(entries[2].content, text_bytes("third"));
}

TEST(MzsimpleWrite, EntryRulesHold)
{
    ScratchDir dir;
    const std::string path = dir.file("rules.zip");
    auto zip = mzsimple_open(path, 6, 'w');
    ASSERT_TRUE(zip);
    EXPECT_EQ(mzsimple_entry_write(*zip, "no entry open"), -1);
    EXPECT_EQ(mzsimple_entry_close(*zip), -1);
    EXPECT_EQ(mzsimple_entry_open(*zip, ""), -1);

    ASSERT_EQ(mzsimple_entry_open(*zip, "configs\\dali1.tar"), 0);
    EXPECT_EQ(mzsimple_entry_name(*zip), "configs/dali1.tar");
    EXPECT_EQ(mzsimple_entry_open(*zip, "second.txt"), -1); // one entry at a time
    ASSERT_EQ(mzsimple_entry_write(*zip, "dali"), 0);
    ASSERT_EQ(mzsimple_entry_close(*zip), 0);
    EXPECT_EQ(mzsimple_entry_open(*zip, "configs/dali1.tar"), -1); // same name again

    // Left open: closing the archive finishes it rather than losing it.
    ASSERT_EQ(mzsimple_entry_open(*zip, "last.txt"), 0);
    ASSERT_EQ(mzsimple_entry_write(*zip, "end"), 0);
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);

    const std::vector<PeerEntry> entries = python_zip_entries(path);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "configs/dali1.tar");
    EXPECT_EQ(entries[0].content, text_bytes("dali"));
    EXPECT_EQ(entries[1].name, "last.txt");
    EXPECT_EQ(entries[1].content, text_bytes("end"));
}

TEST(MzsimpleWrite, CloseReportsThatTheArchiveCouldNotBeWritten)
{
    ScratchDir dir;
    const std::string folder = dir.file("gone");
    std::filesystem::create_directory(folder);
    auto zip = mzsimple_open(folder + "/backup.zip", 6, 'w');
    ASSERT_TRUE(zip);
    add_entry(*zip, "tool.txt", text_bytes("{}"));
    std::filesystem::remove_all(folder);
    EXPECT_EQ(mzsimple_close(std::move(zip)), -1);
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(MzsimpleWrite, HoldsAtMost65535Entries)
{
    ScratchDir dir;
    const std::string path = dir.file("many.zip");
    auto zip = mzsimple_open(path, 0, 'w');
    ASSERT_TRUE(zip);
    for (int i = 0; i < 65535; ++i) {
        ASSERT_EQ(mzsimple_entry_open(*zip, std::to_string(i)), 0) << i;
        ASSERT_EQ(mzsimple_entry_close(*zip), 0) << i;
    }
    EXPECT_EQ(mzsimple_entry_open(*zip, "65535"), -1);
    ASSERT_EQ(mzsimple_close(std::move(zip)), 0);

    auto reread = mzsimple_open(path, 0, 'r');
    ASSERT_TRUE(reread);
    EXPECT_EQ(mzsimple_entries_total(*reread), 65535);
    ASSERT_EQ(mzsimple_entry_open_index(*reread, 65534), 0);
    EXPECT_EQ(mzsimple_entry_name(*reread), "65534");
}
