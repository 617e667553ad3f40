// The groups sheet importer: names land in the 38-byte group records at
// 9,788 (formats 0 and 1), 10,300 (format 2) and 6,460 (format 3).
#include "import/import.h"
#include "import/sheet_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr std::size_t groups_at[] = {9788, 9788, 10300, 6460};
constexpr const char* version_row = "#dali-channel-groups-csv-version: 1\n";

struct GroupsImport : ::testing::Test {
    SheetFolder folder;
    std::unique_ptr<ChannelConfigImage> import(unsigned format, const std::string& sheet)
    {
        auto image = patterned_image();
        EXPECT_EQ(importcsv_groups(controller(firmware_of_format[format]), folder.write("g.csv", sheet), *image),
                  importcsv_done);
        return image;
    }
};

TEST_F(GroupsImport, NamesGoToTheGroupRecordsOfEachFormatAndNothingElseChanges)
{
    const std::string sheet = std::string(version_row) + "0,0,Hall\nx,15,null\n";
    for (unsigned format = 0; format < 4; ++format) {
        SCOPED_TRACE(format);
        auto image = import(format, sheet);
        auto expected = patterned_image();
        for (auto [g, name] : {std::pair<std::size_t, const char*>{0, "Hall"}, {15, "null"}}) {
            std::uint8_t* record = expected->channel.data() + groups_at[format] + 38 * g;
            std::memset(record, 0, 33);
            std::memcpy(record, name, std::strlen(name));
            record[36] = 255;
        }
        EXPECT_EQ(changed_offsets(expected->channel, image->channel), std::set<std::size_t>{});
    }
}

TEST_F(GroupsImport, RowsOutsideTheRulesAreIgnoredAndTheLaterNameWins)
{
    const std::string forty(40, 'g');
    auto image = import(3, std::string(version_row) + "0,16,Basement\n0,1\n0,2,Two,extra\n" + "0,3," + forty +
                               "\n0,4,First\n0,4,Second\n0,5,#Not a name\n");
    const auto before = patterned_image();
    auto record = [&](std::size_t g) { return image->channel.data() + 6460 + 38 * g; };
    EXPECT_EQ(std::memcmp(record(1), before->channel.data() + 6460 + 38, 38 * 2), 0); // groups 1 and 2 untouched
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record(3))), std::string(32, 'g'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(record(4))), "Second");
    EXPECT_EQ(std::memcmp(record(5), before->channel.data() + 6460 + 38 * 5, 38), 0);
    // Group 16 would be the first byte after the last record: untouched.
    EXPECT_EQ(changed_offsets(before->channel, image->channel).count(6460 + 38 * 16), 0u);
}

} // namespace
