// The inputs sheet importer: rows land in input device record i (file
// offset 28 + 100 i) and instance table i (3,228 + 198 i), offsets written
// out by hand here.
#include "import/import.h"
#include "import/sheet_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* version_row = "#dali-channel-inputs-csv-version: 1\n";

std::size_t input_at(std::size_t i) { return 28 + 100 * i; }
std::size_t table_at(std::size_t i) { return 3228 + 198 * i; }

// A 20-field row; arrays are given as CSV cells (quoted when they hold commas).
std::string row(const std::string& head, const std::string& types, const std::string& rest = "")
{
    std::string text = head + "," + types;
    int columns = 7 + (rest.empty() ? 0 : static_cast<int>(std::count(rest.begin(), rest.end(), ';')) + 1);
    std::string tail = rest;
    std::replace(tail.begin(), tail.end(), ';', ',');
    if (!tail.empty())
        text += "," + tail;
    for (; columns < 20; ++columns)
        text += ",";
    return text + "\n";
}

struct InputsImport : ::testing::Test {
    SheetFolder folder;
    std::unique_ptr<ChannelConfigImage> import(const std::string& sheet, const char* firmware = "2.2.4",
                                               int expected = importcsv_done)
    {
        auto image = std::make_unique<ChannelConfigImage>(); // the inputs region starts all zero
        EXPECT_EQ(importcsv_cd(controller(firmware), folder.write("cd.csv", sheet), *image), expected);
        return image;
    }
};

TEST_F(InputsImport, InstanceSettingsGoToTheEntryBytesOfTheirType)
{
    // Columns 9..14 (type 1), 15..17 (type 3), 18..19 (type 4).
    const std::string sheet = std::string(version_row) +
                              "77,3,4,Door,16,4,\"[1,3,4,2]\",\"[9,8,7,6]\",\"[33,44]\","
                              "[10],[11],[12],[13],[14],[15],"
                              "\"[0,21,0]\",\"[0,22]\",\"[0,23]\",\"[0,0,31]\",\"[0,0,32]\"\n";
    auto image = import(sheet);
    std::span<const std::uint8_t> file(image->inputs);
    const std::size_t r = input_at(3), t = table_at(3);

    EXPECT_EQ(u32_at(file, 16), 77u);
    EXPECT_EQ(u32_at(file, r), 16u | 0x2 | 0x1);
    EXPECT_EQ(file[r + 8], 9);
    EXPECT_EQ(file[r + 10], 4);
    EXPECT_EQ(file[r + 13], 255);
    const std::uint8_t instances[] = {1, 9, 3, 8, 4, 7, 2, 6};
    EXPECT_TRUE(std::equal(std::begin(instances), std::end(instances), &file[r + 16]));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[r + 80])), "Door");
    EXPECT_EQ(file[t + 1], 33);
    const std::uint8_t entries[] = {10, 11, 12, 13, 14, 15, /* type 3 */ 0, 21, 22, 23, 0, 0,
                                    /* type 4 */ 0, 31, 32, 0, 0, 0, /* type 2 */ 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(std::begin(entries), std::end(entries), &file[t + 6]));

    // Nothing else in the file: header, record, table, all else zero.
    ChannelConfigImage written = *image;
    std::fill_n(&written.inputs[16], 4, 0);
    std::fill_n(&written.inputs[r], 100, 0);
    std::fill_n(&written.inputs[t], 198, 0);
    EXPECT_TRUE(std::all_of(written.inputs.begin(), written.inputs.end(), [](int b) { return b == 0; }));
}

TEST_F(InputsImport, CountsNamesArraysAndAddresses)
{
    auto image = import(std::string(version_row) + row("0,0,1,twenty characters!!,0,40", "[]") +
                        row("0,1,null,A,1,255", "\"[1,null,2]\"") + row("0,2,100,B,1,-1", "\"[1,\"\"7\"\",true,3]\"") +
                        row("0,3,null,C,0,32", "\"[" + std::string("1,") + std::string(33 * 2, ' ') + "]\""));
    std::span<const std::uint8_t> file(image->inputs);
    EXPECT_EQ(file[input_at(0) + 10], 32);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[input_at(0) + 80])), "twenty character");
    EXPECT_EQ(file[input_at(0) + 96], 0);

    EXPECT_EQ(file[input_at(1) + 10], 32);
    EXPECT_EQ(file[input_at(1) + 16], 1); // null takes no place
    EXPECT_EQ(file[input_at(1) + 18], 2);
    EXPECT_EQ(file[input_at(1) + 8], 255);
    EXPECT_EQ(u32_at(file, input_at(1)), 0x2u); // bit 0 of column 4 cleared by the null address

    EXPECT_EQ(file[input_at(2) + 10], 32);
    EXPECT_EQ(file[input_at(2) + 8], 0);             // 64..254: byte not written
    EXPECT_EQ(u32_at(file, input_at(2)), 0x3u);       // bit 0 as column 4 gave it
    const std::uint8_t types[] = {1, 0, 7, 0, 3};
    EXPECT_TRUE(std::equal(std::begin(types), std::end(types), &file[input_at(2) + 16]));
}

TEST_F(InputsImport, ArrayCellsPastThirtyTwoElementsAreDropped)
{
    std::string many = "\"[";
    for (int k = 0; k < 40; ++k)
        many += std::to_string(k + 1) + (k < 39 ? "," : "]\"");
    auto image = import(std::string(version_row) + row("0,5,1,X,0,32", many) + row("0,6,1,Y,0,1", "[1]"));
    std::span<const std::uint8_t> file(image->inputs);
    for (int k = 0; k < 32; ++k)
        EXPECT_EQ(file[input_at(5) + 16 + 2 * k], k + 1);
    EXPECT_EQ(file[input_at(5) + 80], 'X'); // the name right after the 32nd entry is intact
}

TEST_F(InputsImport, RowsOutsideTheRulesLeaveTheFileEmpty)
{
    const std::string good = row("0,0,1,N,0,1", "[1]");
    for (const std::string& sheet : {
             good,                                                                  // no version row
             "#dali-channel-inputs-csv-version: 2\n" + good,                        // unknown version
             "#dali-channel-csv-version: 1\n" + good,                               // another sheet's marker
             std::string(version_row) + good.substr(0, good.size() - 2) + "\n",     // 19 fields
             std::string(version_row) + good.substr(0, good.size() - 1) + ",\n",    // 21 fields
             std::string(version_row) + row("0,32,1,N,0,1", "[1]"),                 // index 32
         }) {
        auto image = import(sheet);
        EXPECT_TRUE(std::all_of(image->inputs.begin(), image->inputs.end(), [](int b) { return b == 0; })) << sheet;
    }
}

TEST_F(InputsImport, BelowFormatThreeTheSheetIsRefusedOnce)
{
    const std::string sheet = std::string(version_row) + row("0,0,1,N,0,1", "[1]") + row("0,1,1,N,0,1", "[1]");
    for (const char* firmware : {"1.4.7", "1.3.0", "1.10.0"}) {
        testing::internal::CaptureStdout();
        auto image = import(sheet, firmware, importcsv_not_supported);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(out, std::string("importcsv_cd\terror version ") + firmware + " not supported.\r\n");
        EXPECT_TRUE(std::all_of(image->inputs.begin(), image->inputs.end(), [](int b) { return b == 0; }));
    }
    // Format 3 begins at 1.5.0, whatever the inputs file format.
    import(sheet, "1.5.0");
}

} // namespace
