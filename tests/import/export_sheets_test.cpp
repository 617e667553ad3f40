// Exported sheets read back by the importers: records holding what a plain
// sheet cannot write without care (names with commas, quotes, line breaks
// and outer blanks, power-on "false", address states) come back as they were.
#include "import/export_sheets.h"
#include "import/import.h"
#include "import/sheet_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Format 0: records of 152 bytes, names at 94, address table at 10,396.
constexpr std::size_t record_length = 152, name_at = 94, table_at = 10396;

std::uint8_t* record(ChannelConfigImage& image, std::size_t i)
{
    return image.channel.data() + 60 + i * record_length;
}

TEST(ExportSheets, AwkwardChannelRecordsSurviveExportAndImport)
{
    auto image = std::make_unique<ChannelConfigImage>();
    const char* name0 = " Hall, \"east\"\r\nwing ";
    std::uint8_t* r0 = record(*image, 0);
    r0[0] = 0x1;
    r0[11] = 2 * 5 + 1;
    r0[5] = 40;
    r0[6] = 255;
    r0[9] = 3;
    std::memset(r0 + 20, 255, 16);
    r0[20 + 3] = 77;
    std::memcpy(r0 + name_at, name0, std::strlen(name0));
    // Unaddressed but still in the address table: no sheet value but "leave
    // as it is" reproduces that.
    std::uint8_t* r1 = record(*image, 1);
    std::memcpy(r1 + name_at, "Spare", 5);
    r1[9] = 1; // fade rates are 1..15 (an import raises 0 to 1)
    image->channel[table_at + 12 + 4] = 9;
    // A name that would turn its row into a comment is not exported.
    std::memcpy(record(*image, 2) + name_at, "#hidden", 7);
    std::uint8_t* r3 = record(*image, 3);
    r3[0] = 0x9;
    r3[11] = 1;
    r3[5] = 100;
    r3[9] = 15;
    r3[18] = 0x01;
    r3[19] = 0x80;
    std::memcpy(r3 + name_at, "Exit", 4);

    const std::string sheet = export_channel_sheet(image->channel, 0);
    EXPECT_EQ(sheet.find("#hidden"), std::string::npos);
    EXPECT_NE(sheet.find("\n0,3,0,Exit,\"[0,15]\",false,"), std::string::npos) << sheet;

    SheetFolder folder;
    auto imported = std::make_unique<ChannelConfigImage>(*image);
    ASSERT_EQ(importcsv(controller("1.2.9"), folder.write("c.csv", sheet), *imported), importcsv_done);
    // Power-on "false" adds bit 3 in place of bit 1.
    for (std::size_t i : {0, 1, 3}) {
        record(*image, i)[0] |= i == 3 ? 0x8 : 0x2;
        record(*image, i)[36] = 255;
    }
    EXPECT_EQ(changed_offsets(image->channel, imported->channel), std::set<std::size_t>{});
}

TEST(ExportSheets, GroupsAndInputsSheetsReadBack)
{
    auto image = std::make_unique<ChannelConfigImage>();
    std::memcpy(image->channel.data() + 6460 + 38 * 7, "Stairs, \"north\"", 15);
    SheetFolder folder;
    auto imported = std::make_unique<ChannelConfigImage>(*image);
    importcsv_groups(controller("2.2.4"), folder.write("g.csv", export_groups_sheet(image->channel, 3, 2)), *imported);
    for (std::size_t g = 0; g < 16; ++g)
        image->channel[6460 + 38 * g + 36] = 255;
    EXPECT_EQ(changed_offsets(image->channel, imported->channel), std::set<std::size_t>{});

    // Inputs: a header value beyond 31 bits, flags with high bits, a slot
    // without address, settings of all three types.
    auto inputs = std::make_unique<ChannelConfigImage>();
    std::span<std::uint8_t> file(inputs->inputs);
    file[8] = 3;
    std::memset(&file[16], 0xFF, 4);
    std::uint8_t* d = &file[28 + 100 * 31];
    d[0] = 0x2;
    d[3] = 0x80;
    d[8] = 255;
    d[10] = 3;
    d[13] = 255;
    const std::uint8_t instances[] = {1, 5, 3, 6, 4, 7};
    std::memcpy(d + 16, instances, sizeof instances);
    std::memcpy(d + 80, "Last, \"slot\"", 12);
    std::uint8_t* t = &file[3228 + 198 * 31];
    t[1] = 200;
    const std::uint8_t entries[] = {1, 2, 3, 4, 5, 6, 0, 8, 9, 10, 0, 0, 0, 13, 14, 0, 0, 0};
    std::memcpy(t + 6, entries, sizeof entries);

    auto rebuilt = std::make_unique<ChannelConfigImage>();
    ASSERT_EQ(importcsv_cd(controller("2.2.4"), folder.write("cd.csv", export_inputs_sheet(inputs->inputs)), *rebuilt),
              importcsv_done);
    rebuilt->inputs[8] = 3; // the version is the writer's part
    EXPECT_EQ(changed_offsets(inputs->inputs, rebuilt->inputs), std::set<std::size_t>{});
}

TEST(ExportSheets, FieldsAreQuotedOnlyWhereTheTokeniserNeedsIt)
{
    EXPECT_EQ(csv_field("Lamp 1"), "Lamp 1");
    EXPECT_EQ(csv_field(""), "");
    EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
    EXPECT_EQ(csv_field("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csv_field("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(csv_field(" edge"), "\" edge\"");
    EXPECT_EQ(csv_field("edge\t"), "\"edge\t\"");
}

} // namespace
