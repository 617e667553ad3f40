// export_channel against the simulator, and the round trip: the exported
// sheets imported into the same controller give back its files field by
// field, apart from what every import stamps (flag bit 1 and the import
// marker of each row's record; in format 3 the two device type bytes) and
// what an inputs file built from nothing cannot carry.
#include "channel/crc16.h"
#include "import/controller_files.h"
#include "import/sheet_fixture.h"
#include "support/run_process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Format {
    const char* firmware;
    unsigned number;
    std::size_t record, device_type, name, groups;
};

bool crc_holds(const std::vector<std::uint8_t>& file)
{
    std::vector<std::uint8_t> check = file;
    std::fill_n(check.begin() + 4, 4, 0);
    return u32_at(file, 4) == crc16(check);
}

// The channel file an import of the exported sheets should leave.
std::vector<std::uint8_t> stamped_channel_file(std::vector<std::uint8_t> file, const Format& f)
{
    for (std::size_t i = 0; i < 64; ++i) {
        std::uint8_t* record = file.data() + 60 + i * f.record;
        if ((record[0] & 1) == 0 && record[f.name] == 0)
            continue; // a free slot: not exported
        record[0] |= 0x2;
        record[36] = 255;
        if (f.number == 3)
            record[f.device_type] = record[f.device_type + 1] = 0;
    }
    for (std::size_t g = 0; g < 16; ++g)
        file[f.groups + 38 * g + 36] = 255;
    return file;
}

// The inputs file an import of the exported sheet should build: the fields
// the sheet carries, zero elsewhere.
std::vector<std::uint8_t> carried_inputs_file(const std::vector<std::uint8_t>& before)
{
    std::vector<std::uint8_t> file(before.size(), 0);
    file[8] = 3;
    std::memcpy(&file[16], &before[16], 4);
    for (std::size_t j = 0; j < 32; ++j) {
        const std::size_t r = 28 + 100 * j, t = 3228 + 198 * j;
        if (std::all_of(&before[r], &before[r + 100], [](int b) { return b == 0; }))
            continue;
        std::memcpy(&file[r], &before[r], 4);
        file[r] |= 0x2;
        file[r + 8] = before[r + 8];
        file[r + 10] = before[r + 10];
        file[r + 13] = 255;
        std::memcpy(&file[r + 16], &before[r + 16], 64 + 17);
        file[t + 1] = before[t + 1];
        for (std::size_t k = 0; k < 32; ++k) {
            const std::uint8_t type = before[r + 16 + 2 * k];
            const std::size_t e = t + 6 + 6 * k;
            if (type == 1)
                std::memcpy(&file[e], &before[e], 6);
            else if (type == 3)
                std::memcpy(&file[e + 1], &before[e + 1], 3);
            else if (type == 4)
                std::memcpy(&file[e + 1], &before[e + 1], 2);
        }
    }
    return file;
}

std::vector<std::uint8_t> without_crc(std::vector<std::uint8_t> file)
{
    std::fill_n(file.begin() + 4, 4, 0);
    return file;
}

ProcessResult export_sheets(const Simulator& sim, const std::string& folder)
{
    return run_cli({"--action=export_channel", "--ip=" + sim.address(), "--channel=1", "--backupfileout=" + folder});
}

void import_sheets(const Simulator& sim, const std::string& folder, bool with_inputs)
{
    for (auto [option, name] : {std::pair<std::string, std::string>{"channelcsvfile", "dali1-channel.csv"},
                                {"channelgroupscsvfile", "dali1-groups.csv"},
                                {"channelinputscsvfile", "cd1-inputs.csv"}}) {
        if (name == "cd1-inputs.csv" && !with_inputs)
            continue;
        const ProcessResult run = run_cli({"--action=setup_channel", "--ip=" + sim.address(), "--channel=1",
                                           "--" + option + "=[\"" + folder + "/" + name + "\"]"});
        EXPECT_EQ(run.exit_code, 0) << name << run.out << run.err;
    }
}

TEST(ExportChannelRun, ExportedSheetsImportBackFieldByFieldInEveryFormat)
{
    for (Format f : {Format{"2.2.4", 3, 100, 43, 45, 6460}, Format{"1.4.7", 2, 160, 44, 106, 10300},
                     Format{"1.3.0", 1, 152, 42, 94, 9788}, Format{"1.2.9", 0, 152, 42, 94, 9788}}) {
        SCOPED_TRACE(f.firmware);
        Simulator sim({"--firmware-version", f.firmware});
        SheetFolder first, second;
        const bool inputs = f.number == 3;
        const std::vector<std::uint8_t> channel_before = channel_file_of(sim, 1);
        const std::vector<std::uint8_t> inputs_before = inputs ? inputs_file_of(sim, 1) : std::vector<std::uint8_t>{};

        const ProcessResult run = export_sheets(sim, first.path);
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        EXPECT_EQ(std::filesystem::exists(first.path + "/cd1-inputs.csv"), inputs);
        const std::string channel_sheet = read_text(first.path + "/dali1-channel.csv");
        EXPECT_TRUE(channel_sheet.starts_with("#dali-channel-csv-version: 1\n# header_value,device_index,"));
        EXPECT_NE(channel_sheet.find(",Ch1 Lamp 1,"), std::string::npos);

        import_sheets(sim, first.path, inputs);
        const std::vector<std::uint8_t> channel_after = channel_file_of(sim, 1);
        ASSERT_EQ(channel_after.size(), channel_before.size());
        EXPECT_TRUE(crc_holds(channel_after));
        EXPECT_EQ(without_crc(channel_after), without_crc(stamped_channel_file(channel_before, f)));

        if (inputs) {
            const std::vector<std::uint8_t> inputs_after = inputs_file_of(sim, 1);
            EXPECT_TRUE(crc_holds(inputs_after));
            EXPECT_EQ(without_crc(inputs_after), without_crc(carried_inputs_file(inputs_before)));
        }

        // Once imported, a second export gives the same sheets and importing
        // them changes not a byte.
        ASSERT_EQ(export_sheets(sim, second.path).exit_code, 0);
        for (const char* name : {"dali1-channel.csv", "dali1-groups.csv", "cd1-inputs.csv"})
            EXPECT_EQ(read_text(first.path + "/" + name), read_text(second.path + "/" + name)) << name;
        const std::vector<std::uint8_t> inputs_after = inputs ? inputs_file_of(sim, 1) : std::vector<std::uint8_t>{};
        import_sheets(sim, second.path, inputs);
        EXPECT_EQ(channel_file_of(sim, 1), channel_after);
        if (inputs) {
            EXPECT_EQ(inputs_file_of(sim, 1), inputs_after);
        }
    }
}

TEST(ExportChannelRun, ExampleSheetsSurviveTheRoundTrip)
{
    // Names with commas and quotes, power-on "false", null levels, scenes
    // with gaps: imported, exported, and the export says the same.
    Simulator sim;
    SheetFolder folder;
    const std::string examples = std::string(KELPU_SOURCE_DIR) + "/examples/";
    for (auto [option, name] : {std::pair<std::string, std::string>{"channelcsvfile", "office-channel.csv"},
                                {"channelgroupscsvfile", "office-groups.csv"},
                                {"channelinputscsvfile", "office-inputs.csv"}})
        ASSERT_EQ(run_cli({"--action=setup_channel", "--ip=" + sim.address(), "--channel=1",
                           "--" + option + "=[\"" + examples + name + "\"]"})
                      .exit_code,
                  0);
    ASSERT_EQ(export_sheets(sim, folder.path).exit_code, 0);
    const std::string sheet = read_text(folder.path + "/dali1-channel.csv");
    EXPECT_NE(sheet.find("\n0,2,2,\"Reception, desk pendant\",[1],false,254,100,254,7,2,\"[254,180,120,null,0]\"\n"),
              std::string::npos) << sheet;
    EXPECT_NE(sheet.find("\n0,6,6,\"Meeting room \"\"board\"\" spot\",[2],null,null,120,254,5,6,\"[254,null,null,180,0]\"\n"),
              std::string::npos);
    EXPECT_NE(sheet.find("\n0,7,7,Corridor 1,\"[3,5]\","), std::string::npos);
    EXPECT_NE(read_text(folder.path + "/dali1-groups.csv").find("\n1,5,\"Emergency, exits\"\n"), std::string::npos);
    const std::string inputs = read_text(folder.path + "/cd1-inputs.csv");
    EXPECT_NE(inputs.find("\n0,3,3,Office sensor,3,2,\"[3,4]\",\"[0,1]\",[0],[],[],[],[],[],[],[45],[15],[6],"
                          "\"[0,60]\",\"[0,10]\"\n"),
              std::string::npos) << inputs;
}

TEST(ExportChannelRun, MissingArgumentsAndUnwritableFolder)
{
    Simulator sim;
    EXPECT_EQ(run_cli({"--action=export_channel", "--ip=" + sim.address(), "--channel=1"}).exit_code, 2);
    EXPECT_EQ(run_cli({"--action=export_channel", "--channel=1", "--backupfileout=/tmp"}).exit_code, 2);
    EXPECT_TRUE(sim.requests().empty());
    // A folder whose parent is a file cannot be made, not even by root; it
    // is refused before the controller is asked.
    SheetFolder folder;
    std::ofstream(folder.path + "/file") << "x";
    const ProcessResult run = export_sheets(sim, folder.path + "/file/sub");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find("Could not create the output folder " + folder.path + "/file/sub: Not a directory\r\n"),
              std::string::npos) << run.out;
    EXPECT_TRUE(sim.requests().empty());
}

TEST(ExportChannelRun, AMissingFolderIsCreated)
{
    Simulator sim;
    SheetFolder folder;
    ASSERT_EQ(export_sheets(sim, folder.path + "/a/b").exit_code, 0);
    EXPECT_NE(read_text(folder.path + "/a/b/dali1-groups.csv").find("#dali-channel-groups-csv-version: 1"),
              std::string::npos);
}

} // namespace
