// Conversion of channel and inputs files for a controller's firmware, on
// files written by an independent builder at the documented offsets.
#include "catalogue/backup_catalogue.h"
#include "log/log.h"
#include "restore/config_files.h"
#include "restore/convert_config.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct RedLines : LogSink {
    std::vector<std::string> lines;
    RedLines() { log_set_sink(this); }
    ~RedLines() override { log_set_sink(nullptr); }
    void insert_line_at_top(LogColour colour, std::string_view line) override
    {
        if (colour == colour_red)
            lines.emplace_back(line.substr(24)); // after the time stamp
    }
    void set_progress(int) override {}
};

StatusRecord firmware(const char* version)
{
    StatusRecord status;
    status.model_name = "ZANTOR-2";
    status.firmware_version = version;
    return status;
}

const BackupRestoreRow& row(const char* tar_name)
{
    return *backup_restore_lookup(tar_name);
}

struct Converted {
    int result;
    Bytes file;
};

Converted convert(const char* tar_name, const char* version, const Bytes& data)
{
    const StatusRecord status = firmware(version);
    Converted out{-1, {}};
    out.result = convert_config(&row(tar_name), &status, data, out.file);
    return out;
}

Bytes trailer(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// A zero-terminated text inside the file.
std::string text_at(const Bytes& b, std::size_t at)
{
    return reinterpret_cast<const char*>(b.data() + at);
}

TEST(ChannelConversion, Format1To2KeepsTheDataOfTypes568AndDropsTheRest)
{
    const Bytes source = make_channel_file(1);
    const Converted c = convert("dali1.tar", "1.3.1", source);
    ASSERT_EQ(c.result, convert_done);
    expect_channel_converted(source, 1, c.file, 2);

    // Devices 0 to 3 have types 5, 6, 8 and 7; records at 60 + 160 i.
    EXPECT_EQ(c.file[60 + 44], 5);
    EXPECT_EQ(slice(c.file, 60 + 46, 3), (Bytes{0x80, 0x81, 0x82}));
    EXPECT_EQ(c.file[220 + 44], 6);
    EXPECT_EQ(slice(c.file, 220 + 49, 7), (Bytes{0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87}));
    EXPECT_EQ(c.file[380 + 44], 8);
    EXPECT_EQ(c.file[380 + 56], 0x82);
    EXPECT_EQ(c.file[380 + 105], 0x82 + 49);
    EXPECT_EQ(c.file[540 + 44], 255);
    EXPECT_EQ(slice(c.file, 540 + 46, 60), Bytes(60, 0));
    EXPECT_EQ(text_at(c.file, 540 + 106), "Lamp 4");
    EXPECT_EQ(u32_at(c.file, 8), 2u);
    EXPECT_EQ(u32_at(c.file, 12), 42u);
    EXPECT_EQ(text_at(c.file, 10300 + 38 * 15), "Group 15");
    EXPECT_EQ(slice(c.file, 10908, 4), trailer("TRL1"));
}

TEST(ChannelConversion, Format1To3LosesTypeDataAndKeepsGroupsAndTrailer)
{
    const Bytes source = make_channel_file(1);
    const Converted c = convert("dali2.tar", "1.5.0", source);
    ASSERT_EQ(c.result, convert_done);
    expect_channel_converted(source, 1, c.file, 3);
    EXPECT_EQ(c.file.size(), 7072u);
    EXPECT_EQ(c.file[60 + 43], 5);
    EXPECT_EQ(c.file[260 + 43], 8);
    EXPECT_EQ(c.file[360 + 43], 255); // type 7
    EXPECT_EQ(text_at(c.file, 260 + 45), "Lamp 3");
    EXPECT_EQ(slice(c.file, 6460, 16 * 38), slice(source, 9788, 16 * 38));
    EXPECT_EQ(slice(c.file, 7068, 4), trailer("TRL1"));
}

TEST(ChannelConversion, Format0IsConvertedAsFormat1)
{
    const Bytes source = make_channel_file(0);
    const Converted c = convert("dali3.tar", "2.2.4", source);
    ASSERT_EQ(c.result, convert_done);
    expect_channel_converted(source, 0, c.file, 3);
}

TEST(ChannelConversion, Format2To3CarriesTheTypeAndItsCompanionAsTheyAre)
{
    const Bytes source = make_channel_file(2);
    const Converted c = convert("dali4.tar", "1.5.0", source);
    ASSERT_EQ(c.result, convert_done);
    expect_channel_converted(source, 2, c.file, 3);
    EXPECT_EQ(c.file[360 + 43], 7); // format 2 already holds the type; it is not judged again
    EXPECT_EQ(c.file[360 + 44], 0x43);
    EXPECT_EQ(slice(c.file, 7068, 4), trailer("TRL2"));
}

TEST(InputsConversion, Format2To3GivesEachInstanceItsOwnSlot)
{
    const Bytes source = make_inputs_file_v2();
    const Converted c = convert("cd1.tar", "2.2.4", source);
    ASSERT_EQ(c.result, convert_done);
    expect_inputs_converted(source, c.file);

    // Device 3: instances of types 1, 3, 4, 2; its packed table starts at
    // 3228 + 3 * 194 with the bytes 10, 11, 12...
    const std::size_t table = 3228 + 3 * 198;
    EXPECT_EQ(slice(c.file, table + 6, 6), (Bytes{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(slice(c.file, table + 12, 6), (Bytes{14, 15, 16, 17, 0, 0}));
    EXPECT_EQ(slice(c.file, table + 18, 6), (Bytes{16, 17, 18, 0, 0, 0}));
    EXPECT_EQ(slice(c.file, table + 24, 6), Bytes(6, 0));
    EXPECT_EQ(c.file[table + 1], 0x93);
    EXPECT_EQ(c.file[3228 + 198 + 1], 0); // device 1 has no push button
    EXPECT_EQ(u32_at(c.file, 12), 6u);
}

TEST(ConvertConfig, SameFormatAndOtherFilesAreCopiedAsTheyAre)
{
    const Bytes v2 = make_channel_file(2);
    const Bytes inputs = make_inputs_file_v2();
    for (const char* version : {"1.3.1", "1.4.7"})
        EXPECT_EQ(convert("dali1.tar", version, v2).file, v2) << version;
    EXPECT_EQ(convert("cd1.tar", "1.5.0", inputs).file, inputs); // inputs stay format 2 until 2.2.4
    const Bytes v1 = make_channel_file(1);
    EXPECT_EQ(convert("dali1.tar", "1.3.0", v1).file, v1);
    // "1.10.0" sorts before "1.3.0" byte by byte: a format-0 controller.
    EXPECT_EQ(convert("dali1.tar", "1.10.0", v1).file, v1);
    // A channel-file image under another name is not touched.
    for (const char* name : {"systemconfig.tar", "views63.tar", "daincd1.tar"}) {
        const Converted c = convert(name, "2.2.4", v1);
        EXPECT_EQ(c.result, convert_done);
        EXPECT_EQ(c.file, v1) << name;
    }
}

TEST(ConvertConfig, NewerToOlderIsNotSupportedAndProducesNothing)
{
    RedLines red;
    Bytes v3(7072, 0);
    v3[8] = 3;
    EXPECT_EQ(convert("dali1.tar", "1.3.1", v3).result, convert_refused);
    EXPECT_EQ(convert("dali1.tar", "1.10.0", make_channel_file(2)).result, convert_refused);
    EXPECT_EQ(convert("cd2.tar", "1.3.0", make_inputs_file_v2()).result, convert_refused);
    EXPECT_EQ(red.lines, (std::vector<std::string>{"CONFIGURATION dali CONVERSION VERSION 3 to 2 IS NOT SUPPORTED!\r\n",
                                                   "CONFIGURATION dali CONVERSION VERSION 2 to 0 IS NOT SUPPORTED!\r\n",
                                                   "CONFIGURATION dalicd CONVERSION VERSION 2 to 0 IS NOT SUPPORTED!\r\n"}));
}

TEST(ConvertConfig, FilesThatCannotBeConvertedAreRefused)
{
    RedLines red;
    Bytes short_v2 = make_channel_file(2);
    short_v2.pop_back();
    EXPECT_EQ(convert("dali1.tar", "1.5.0", short_v2).result, convert_refused);
    Bytes short_v1 = make_channel_file(1);
    short_v1.resize(10912);
    EXPECT_EQ(convert("dali1.tar", "1.3.1", short_v1).result, convert_refused);
    Bytes v4 = make_channel_file(2);
    v4[8] = 4;
    EXPECT_EQ(convert("dali1.tar", "2.2.4", v4).result, convert_refused);
    Bytes inputs_v0 = make_inputs_file_v2();
    inputs_v0[8] = 0;
    EXPECT_EQ(convert("cd1.tar", "2.2.4", inputs_v0).result, convert_refused);
    EXPECT_EQ(convert("cd1.tar", "2.2.4", Bytes(9435, 0)).result, convert_refused);
    EXPECT_EQ(convert("dali1.tar", "2.2.4", Bytes{1, 2, 3}).result, convert_refused);
    // Each says which file and why.
    ASSERT_EQ(red.lines.size(), 6u);
    EXPECT_EQ(red.lines[0], "/etc/config/dali/dali1.bin (format 2, 10911 bytes) cannot be converted for firmware 1.5.0.\r\n");
    EXPECT_EQ(red.lines[5], "/etc/config/dali/dali1.bin is too short (3 bytes) to hold its format.\r\n");

    const BackupRestoreRow beyond{603, "x.tar", "/x"};
    const StatusRecord status = firmware("2.2.4");
    Bytes out;
    EXPECT_EQ(convert_config(&beyond, &status, Bytes{1}, out), convert_refused);
    EXPECT_EQ(convert_config(nullptr, &status, Bytes{1}, out), convert_missing_argument);
    EXPECT_EQ(convert_config(&row("views0.tar"), nullptr, Bytes{1}, out), convert_missing_argument);
    EXPECT_EQ(convert_config(&row("views0.tar"), &status, Bytes{}, out), convert_missing_argument);
    EXPECT_TRUE(out.empty());
}

TEST(ConvertConfig, WithoutAFirmwareVersionOnlyFilesThatNeedNoFormatGo)
{
    RedLines red;
    StatusRecord status;
    status.model_name = "ZANTOR-2";
    Bytes out;
    EXPECT_EQ(convert_config(&row("dali1.tar"), &status, make_channel_file(2), out), convert_refused);
    EXPECT_EQ(convert_config(&row("cd4.tar"), &status, make_inputs_file_v2(), out), convert_refused);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(convert_config(&row("schedules.tar"), &status, Bytes{9, 8, 7}, out), convert_done);
    EXPECT_EQ(out, (Bytes{9, 8, 7}));
    ASSERT_EQ(red.lines.size(), 2u);
    EXPECT_NE(red.lines[0].find("/etc/config/dali/dali1.bin"), std::string::npos);
}

} // namespace
