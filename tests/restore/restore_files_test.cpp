// The tool record check and the TAR that carries a file back, read by GNU tar.
#include "firmware/firmware_files.h"
#include "restore/restore_tar.h"
#include "restore/tool_check.h"
#include "support/run_process.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string record(const std::string& name, const std::string& major, const std::string& minor,
                   const std::string& revision)
{
    return "{\n  \"tool_name\": \"" + name + "\",\n  \"version_major\": " + major + ",\n  \"version_minor\": " + minor +
           ",\n  \"version_revision\": " + revision + ",\n  \"version_string\": \"x\"\n}\n";
}

TEST(ToolRecord, VersionsUpTo130OfThisToolAreAccepted)
{
    struct Case {
        const char *major, *minor, *revision;
        bool accepted;
    };
    for (const Case c : {Case{"1", "3", "0", true}, Case{"1", "2", "9", true}, Case{"0", "9", "0", true},
                         Case{"-1", "99", "99", true}, Case{"1", "3", "-4", true}, Case{"1", "3", "1", false},
                         Case{"1", "4", "0", false}, Case{"2", "0", "0", false},
                         Case{"1", "99999999999999999999999", "0", false}})
        EXPECT_EQ(tool_record_accepted(record("kelpu-cli", c.major, c.minor, c.revision)), c.accepted)
            << c.major << "." << c.minor << "." << c.revision;
}

TEST(ToolRecord, AnotherToolOrAMissingNumberIsRefused)
{
    EXPECT_FALSE(tool_record_accepted(record("other-cli", "1", "0", "0")));
    EXPECT_FALSE(tool_record_accepted(record("kelpu-cli-x", "1", "0", "0")));
    EXPECT_FALSE(tool_record_accepted(R"({"tool_name": "kelpu-cli", "version_major": 1, "version_minor": 3})"));
    EXPECT_FALSE(tool_record_accepted(R"({"version_major": 1, "version_minor": 0, "version_revision": 0})"));
    EXPECT_FALSE(tool_record_accepted(R"({"tool_name": 7, "version_major": 1, "version_minor": 0, "version_revision": 0})"));
    EXPECT_FALSE(tool_record_accepted(R"({"tool_name": "kelpu-cli", "version_major": 1, "version_minor": 0, "version_revision": })"));
    // Nothing after a zero byte counts.
    const std::string cut = std::string(R"({"tool_name": "kelpu-cli", "version_major": 1, "version_minor": 0)") + '\0' +
                            R"(, "version_revision": 0})";
    EXPECT_FALSE(tool_record_accepted(cut));
    // Members in another order and spacing are found all the same.
    EXPECT_TRUE(tool_record_accepted(
        R"({"version_revision":0,"version_minor":3,"version_major":1,"tool_name":"kelpu-cli"})"));
}

TEST(RestoreTar, GnuTarReadsTheOneMemberBack)
{
    TempDir dir;
    const std::vector<std::uint8_t> file(10912, 0x5A);
    const std::vector<std::uint8_t> tar = restore_tar("/etc/config/dali/dali1.bin", file, 1700000000);
    EXPECT_EQ(tar.size(), 512u + 11264u + 1024u);
    write_bytes(dir / "upload.tar", tar);

    const ProcessResult listing =
        run_process({"tar", "--utc", "-tvPf", (dir / "upload.tar").string()}, {"TZ=UTC", "LC_ALL=C"});
    EXPECT_EQ(listing.exit_code, 0) << listing.err;
    EXPECT_EQ(listing.out, "-rw-rw-r-- 0/0           10912 2023-11-14 22:13 /etc/config/dali/dali1.bin\n");
    const ProcessResult content = run_process({"tar", "-xOPf", (dir / "upload.tar").string()});
    EXPECT_EQ(content.out, std::string(10912, 'Z'));

    EXPECT_TRUE(restore_tar(std::string(100, 'n'), file, 0).empty());
}

} // namespace
