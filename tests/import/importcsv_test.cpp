// The channel sheet importer against files on disk: every row's bytes are
// expected at the record offsets of each format, written out by hand here
// (not taken from the layout table the importer uses), on top of a patterned
// image, so a byte written by mistake shows as a difference.
#include "import/import.h"
#include "import/sheet_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Per format 0..3: device record length, name offset, device type offset.
constexpr std::size_t record_length[] = {152, 152, 160, 100};
constexpr std::size_t name_offset[] = {94, 94, 106, 45};

constexpr const char* version_row = "#dali-channel-csv-version: 1\n";

std::size_t record_at(unsigned format, std::size_t i)
{
    return 60 + i * record_length[format];
}

void put(std::span<std::uint8_t> bytes, std::size_t offset, std::initializer_list<int> values)
{
    for (int value : values)
        bytes[offset++] = static_cast<std::uint8_t>(value);
}

void put_u32(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void put_name(std::span<std::uint8_t> bytes, std::size_t offset, const std::string& name)
{
    std::fill_n(bytes.begin() + offset, 33, 0);
    std::memcpy(bytes.data() + offset, name.data(), name.size());
}

struct ChannelImport : ::testing::Test {
    SheetFolder folder;

    // Imports sheet into a patterned image for a controller of format.
    std::unique_ptr<ChannelConfigImage> import(unsigned format, const std::string& sheet, int expected = 1)
    {
        auto image = patterned_image();
        EXPECT_EQ(importcsv(controller(firmware_of_format[format]), folder.write("c.csv", sheet), *image), expected);
        return image;
    }
};

TEST_F(ChannelImport, RowWritesItsFieldsAtTheRecordOffsetsOfEveryFormat)
{
    const std::string sheet = std::string(version_row) + "1,5,5,Lamp,\"[0,3]\",null,false,1,254,0,20,\"[100,null,50]\"\n";
    for (unsigned format = 0; format < 4; ++format) {
        SCOPED_TRACE(format);
        auto image = import(format, sheet);
        auto expected = patterned_image();
        std::span<std::uint8_t> file(expected->channel);
        const std::size_t r = record_at(format, 5);
        put_u32(file, r, u32_at(file, r) | 0x3); // addressed, imported; "null" power-on sets no bit 3
        put(file, r + 5, {255, 0, 1, 254, 1, 15, 11});
        put(file, r + 18, {0x09, 0x00, 100, 255, 50, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255});
        put(file, r + 36, {255});
        put_name(file, r + name_offset[format], "Lamp");
        if (format == 3) {
            put_u32(file, 16, 1);
            put(file, r + 43, {0, 0});
        }
        EXPECT_EQ(changed_offsets(expected->channel, image->channel), std::set<std::size_t>{});
        EXPECT_EQ(image->inputs, expected->inputs);
    }
}

TEST_F(ChannelImport, PowerOnFalseInAnyCaseSetsBitThreeInsteadOfBitOne)
{
    for (const char* cell : {"false", "FALSE", "False"}) {
        auto image = import(3, std::string(version_row) + std::string("0,0,1,A,[],") + cell + ",7,0,0,0,0,[]\n");
        const std::size_t r = record_at(3, 0);
        std::span<const std::uint8_t> file(image->channel);
        const std::uint32_t before = u32_at(patterned_image()->channel, r);
        EXPECT_EQ(u32_at(file, r), before | 0x9) << cell;
        EXPECT_EQ(file[r + 5], 100) << cell;
        EXPECT_EQ(file[r + 6], 7) << cell;
    }
}

TEST_F(ChannelImport, NumberCellsKeepTheirLowByteAndFadesAreClamped)
{
    auto image = import(2, std::string(version_row) +
                               "0,1,2,N,[],256,-1,  300,-2,16,16,[]\n"
                               "0,2,3,N,[],12abc,x,0,0,15,15,[]\n");
    std::span<const std::uint8_t> file(image->channel);
    const std::size_t r1 = record_at(2, 1), r2 = record_at(2, 2);
    EXPECT_EQ(file[r1 + 5], 0);    // 256
    EXPECT_EQ(file[r1 + 6], 255);  // -1
    EXPECT_EQ(file[r1 + 7], 44);   // 300, blanks before it dropped
    EXPECT_EQ(file[r1 + 8], 254);  // -2
    EXPECT_EQ(file[r1 + 9], 15);   // fade rate 16 clamped
    EXPECT_EQ(file[r1 + 10], 15);  // fade time 16 clamped
    EXPECT_EQ(file[r2 + 5], 12);   // digits up to the first other character
    EXPECT_EQ(file[r2 + 6], 0);    // no digits at all
    EXPECT_EQ(file[r2 + 9], 15);
}

TEST_F(ChannelImport, ShortAddressCellsAcceptNumbersStringsArraysAndNull)
{
    struct Case { const char* cell; int byte; };
    for (Case c : {Case{"7", 15}, Case{"[7]", 15}, Case{"\"\"\"7\"\"\"", 15}, Case{"", 1}, Case{"63", 127},
                   Case{"\"[1,2,9]\"", 19}, Case{"7.9", 15}, Case{"true", 1}}) {
        auto image = import(3, std::string(version_row) + "0,4," + c.cell + ",N,[],0,0,0,0,0,0,[]\n");
        const std::size_t r = record_at(3, 4);
        EXPECT_EQ(image->channel[r + 11], c.byte) << c.cell;
        EXPECT_EQ(image->channel[r] & 1, 1) << c.cell;
    }
    // 64..254 neither address nor unaddress: flags bit 0 and the byte stay.
    auto image = import(3, std::string(version_row) + "0,4,100,N,[],0,0,0,0,0,0,[]\n");
    const std::size_t r = record_at(3, 4);
    const auto before = patterned_image();
    EXPECT_EQ(image->channel[r + 11], before->channel[r + 11]);
    EXPECT_EQ(image->channel[r] & 1, before->channel[r] & 1);
}

TEST_F(ChannelImport, NullShortAddressUnaddressesTheDeviceAsEachFormatKeepsIt)
{
    const std::string sheet = std::string(version_row) + "0,3,null,N,[],0,0,0,0,0,0,[]\n";
    for (unsigned format = 0; format < 4; ++format) {
        SCOPED_TRACE(format);
        auto image = import(format, sheet);
        const auto before = patterned_image();
        const std::size_t r = record_at(format, 3);
        EXPECT_EQ(image->channel[r] & 1, 0);
        const std::size_t entry = 10396 + 3 * 12;
        if (format < 2) {
            EXPECT_EQ(image->channel[r + 11], before->channel[r + 11]);
            EXPECT_TRUE(std::all_of(&image->channel[entry], &image->channel[entry + 12], [](int b) { return b == 0; }));
            EXPECT_EQ(image->channel[entry + 12], before->channel[entry + 12]); // the next device's entry stays
        } else {
            EXPECT_EQ(image->channel[r + 11], format == 3 ? 255 : 0);
        }
    }
    // Format 2 has no address table: the same bytes are device data there.
    auto image = import(2, sheet);
    EXPECT_EQ(image->channel[10396 + 36], patterned_image()->channel[10396 + 36]);
}

TEST_F(ChannelImport, GroupsAndScenesCells)
{
    struct Case { const char* groups; int mask; };
    for (Case c : {Case{"[15]", 0x8000}, Case{"[16,17]", 0}, Case{"null", 0}, Case{"3", 0}, Case{"", 0},
                   Case{"[\"\"2\"\",0]", 0x5}, Case{"[0,[1],2]", 0x3}, Case{"[ 1 ,\t2 ]", 0x6},
                   Case{"[01,3]", 0x1}, Case{"[1.9]", 0x2}, Case{"[1e1]", 0x400}, Case{"[-1]", 0},
                   Case{"[1,2", 0x6}, Case{"[1,x,3]", 0x2}, Case{"[null,4]", 0x10}, Case{"[4294967297]", 0x2}}) {
        auto image = import(1, std::string(version_row) + "0,0,0,N,\"" + c.groups + "\",0,0,0,0,0,0,[]\n");
        const std::size_t r = record_at(1, 0);
        EXPECT_EQ(image->channel[r + 18] | image->channel[r + 19] << 8, c.mask) << c.groups;
    }

    std::string twenty = "[";
    for (int k = 0; k < 20; ++k)
        twenty += std::to_string(k + 1) + (k < 19 ? "," : "]");
    auto image = import(0, std::string(version_row) + "0,0,0,N,[],0,0,0,0,0,0,\"" + twenty + "\"\n" +
                               "0,1,0,N,[],0,0,0,0,0,0,42\n");
    const std::size_t r0 = record_at(0, 0), r1 = record_at(0, 1);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(image->channel[r0 + 20 + k], k + 1);
    EXPECT_EQ(image->channel[r0 + 36], 255); // the import marker, not a 17th scene
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(image->channel[r1 + 20 + k], 255); // a bare number is no scene list

    // Entries up to a syntax error count; fractions are cut toward zero.
    image = import(3, std::string(version_row) + "0,0,0,N,[],0,0,0,0,0,0,\"[ 7 ,null, 9.8,-1\"\n" +
                          "0,1,0,N,[],0,0,0,0,0,0,\"[3,\"\"4\"\",x,5]\"\n");
    const std::uint8_t gap[] = {7, 255, 9, 255, 255}, error[] = {3, 4, 255};
    EXPECT_TRUE(std::equal(std::begin(gap), std::end(gap), &image->channel[record_at(3, 0) + 20]));
    EXPECT_TRUE(std::equal(std::begin(error), std::end(error), &image->channel[record_at(3, 1) + 20]));
}

TEST_F(ChannelImport, NamesKeepAtMost32BytesAndMayHoldCommasQuotesAndLineBreaks)
{
    const std::string forty(40, 'x');
    auto image = import(3, std::string(version_row) + "0,0,0," + forty + ",[],0,0,0,0,0,0,[]\n" +
                               "0,1,0,\"Hall, east \"\"A\"\"\r\nwing\",[],0,0,0,0,0,0,[]\n" +
                               "0,2,0,  padded  ,[],0,0,0,0,0,0,[]\n" + "0,3,0,\"  kept  \",[],0,0,0,0,0,0,[]\n");
    auto name = [&](std::size_t i) {
        const char* text = reinterpret_cast<const char*>(&image->channel[record_at(3, i) + 45]);
        return std::string(text, strnlen(text, 33));
    };
    EXPECT_EQ(name(0), std::string(32, 'x'));
    EXPECT_EQ(image->channel[record_at(3, 0) + 45 + 32], 0);
    EXPECT_EQ(name(1), "Hall, east \"A\"\r\nwing");
    EXPECT_EQ(name(2), "padded");
    EXPECT_EQ(name(3), "  kept  ");
    // A shorter name is zero-padded over what the record held.
    const std::size_t r1 = record_at(3, 1) + 45;
    EXPECT_TRUE(std::all_of(&image->channel[r1 + 21], &image->channel[r1 + 33], [](int b) { return b == 0; }));
}

TEST_F(ChannelImport, RowsOutsideTheRulesChangeNothing)
{
    const auto untouched = patterned_image();
    const std::string row = "0,0,0,N,[],0,0,0,0,0,0,[]";
    for (const std::string& sheet : {
             row + "\n",                                                         // no version row
             "#dali-channel-csv-version: 2\n" + row + "\n",                      // unknown version
             std::string(version_row) + "0,0,0,N,[],0,0,0,0,0,0\n",              // 11 fields
             std::string(version_row) + row + ",extra\n",                        // 13 fields
             std::string(version_row) + "0,0,0,#N,[],0,0,0,0,0,0,[]\n",         // comment field inside the row
             std::string(version_row) + "0,64,0,N,[],0,0,0,0,0,0,[]\n",          // device index 64
             std::string(version_row) + "0,-1,0,N,[],0,0,0,0,0,0,[]\n",          // negative index
             std::string(version_row) + "#dali-channel-csv-version: 3\n" + row,  // version changed before the row
         }) {
        auto image = import(3, sheet);
        EXPECT_EQ(changed_offsets(untouched->channel, image->channel), std::set<std::size_t>{}) << sheet;
    }
    // Without a firmware version there is no format to write in.
    auto image = patterned_image();
    importcsv(BackupRecord{}, folder.write("c.csv", std::string(version_row) + row + "\n"), *image);
    EXPECT_EQ(changed_offsets(untouched->channel, image->channel), std::set<std::size_t>{});
}

TEST_F(ChannelImport, VersionRowCountsAnywhereInACommentAndLineEndsMayBeAnyKind)
{
    // The marker inside a longer comment field: the number is read from the
    // 28th character of the field, so only a field that starts with the
    // marker reads the number after it.
    auto image = import(3, "#dali-channel-csv-version: 1 (written by hand)\r\n\r\n"
                           "0,0,0,A,[],0,0,0,0,0,0,[]\r"
                           "0,1,0,B,[],0,0,0,0,0,0,[]\n\n"
                           "# comment, with, fields\n"
                           "0,2,0,C,[],0,0,0,0,0,0,[]"); // last row without a line end
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(image->channel[record_at(3, i) + 45], 'A' + i) << i;

    testing::internal::CaptureStdout();
    import(3, "# x\n0,0\n1,2,3\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "0 fields, 3 rows\n");
}

TEST_F(ChannelImport, LaterRowsWinWhileFlagBitsAccumulate)
{
    auto image = import(3, std::string(version_row) + "0,0,1,First,[1],false,0,0,0,0,0,[]\n" +
                               "0,0,2,Second,[2],50,0,0,0,0,0,[]\n");
    const std::size_t r = record_at(3, 0);
    EXPECT_EQ(image->channel[r + 11], 5);
    EXPECT_EQ(image->channel[r + 18], 0x4);
    EXPECT_EQ(image->channel[r + 5], 50);
    EXPECT_EQ(u32_at(image->channel, r) & 0xB, 0xBu); // bits 0, 1 and 3 all set
    EXPECT_EQ(image->channel[r + 45], 'S');
}

TEST_F(ChannelImport, FileProblems)
{
    auto image = patterned_image();
    EXPECT_EQ(importcsv(controller("2.2.4"), folder.path + "/missing.csv", *image), importcsv_cannot_open);
    EXPECT_EQ(changed_offsets(patterned_image()->channel, image->channel), std::set<std::size_t>{});

    // A quote never closed would take the rest of the file as one field;
    // past the field limit the tokeniser gives up with its own error text.
    const std::string runaway = std::string(version_row) + "0,0,0,\"" + std::string(csv_field_limit + 10, 'a');
    testing::internal::CaptureStderr();
    import(3, runaway, importcsv_parse_error);
    EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("Error while parsing file: ", 0), 0u);
}

} // namespace
