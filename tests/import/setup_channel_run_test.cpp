// setup_channel as a technician runs it: the built utility against the
// simulator, the example sheets of examples/, and what the controller holds
// afterwards.
#include "import/controller_files.h"
#include "import/sheet_fixture.h"
#include "support/run_process.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const std::string examples = std::string(KELPU_SOURCE_DIR) + "/examples/";

std::string text_at(const std::vector<std::uint8_t>& file, std::size_t offset)
{
    return reinterpret_cast<const char*>(file.data() + offset);
}

ProcessResult setup(const Simulator& sim, const std::string& channels, const std::string& option,
                    const std::string& files)
{
    return run_cli({"--action=setup_channel", "--ip=" + sim.address(), "--channel=" + channels,
                    "--" + option + "=" + files});
}

TEST(SetupChannelRun, ExampleChannelSheetReachesTheControllerAndKeepsTheRest)
{
    Simulator sim;
    const std::vector<std::uint8_t> before = channel_file_of(sim, 1);
    ASSERT_EQ(before.size(), 7072u);

    const std::string sheet = examples + "office-channel.csv";
    const ProcessResult run = setup(sim, "1", "channelcsvfile", "[\"" + sheet + "\"]");
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("OK\nCH=1\nFILE=" + sheet + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("0 fields, 15 rows\n"), std::string::npos);
    EXPECT_NE(run.out.find("backup\tbackup file contains: \r\n\t/etc/config/dali/dali1.bin (7072 bytes)\r\n"),
              std::string::npos);
    EXPECT_NE(run.out.find("File restored.\r\nOK\n"), std::string::npos) << run.out;
    // One upload: header block, 7,072 bytes padded to 7,168, end marker.
    std::vector<SimRequest> uploads;
    for (const SimRequest& request : sim.requests())
        if (request.kind == "WRQ")
            uploads.push_back(request);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].bytes, 512u + 7168u + 1024u);

    const std::vector<std::uint8_t> after = channel_file_of(sim, 1);
    ASSERT_EQ(after.size(), 7072u);
    const std::size_t r2 = 60 + 2 * 100, r11 = 60 + 11 * 100, r12 = 60 + 12 * 100;
    EXPECT_EQ(text_at(after, r2 + 45), "Reception, desk pendant");
    EXPECT_EQ(after[r2 + 5], 100);                       // power-on "false"
    EXPECT_EQ(after[r2] & 0x8, 0x8);
    EXPECT_EQ(text_at(after, 60 + 6 * 100 + 45), "Meeting room \"board\" spot");
    EXPECT_EQ(after[r11 + 9], 15);
    EXPECT_EQ(after[r11 + 11], 23);
    // Device 12 is in no row: as the controller had it. So are the groups,
    // the header's size, revision and controller data, and the trailer.
    EXPECT_EQ(std::memcmp(&after[r12], &before[r12], 100 * 52), 0);
    EXPECT_EQ(std::memcmp(&after[6460], &before[6460], 7072 - 6460), 0);
    EXPECT_EQ(std::memcmp(&after[0], &before[0], 4), 0);
    EXPECT_EQ(std::memcmp(&after[8], &before[8], 52), 0);

    // A later backup holds the restored file; GNU tar reads it back.
    SheetFolder backup;
    const ProcessResult get = run_cli({"--action=get_backup", "--ip=" + sim.address(), "--backupfileouttype=directory",
                                       "--backupfileout=" + backup.path, "--backupconfig=[\"dali1\"]"});
    EXPECT_EQ(get.exit_code, 0) << get.out;
    const ProcessResult member =
        run_process({"tar", "-xOPf", backup.path + "/dali1.tar", "/etc/config/dali/dali1.bin"});
    EXPECT_EQ(member.exit_code, 0) << member.err;
    EXPECT_EQ(member.out, std::string(after.begin(), after.end()));
}

TEST(SetupChannelRun, ExampleGroupsAndInputsSheets)
{
    Simulator sim;
    const std::vector<std::uint8_t> before = channel_file_of(sim, 2);
    ProcessResult run = setup(sim, "[2]", "channelgroupscsvfile", "[\"" + examples + "office-groups.csv\"]");
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    const std::vector<std::uint8_t> after = channel_file_of(sim, 2);
    EXPECT_EQ(text_at(after, 6460 + 38 * 5), "Emergency, exits");
    EXPECT_EQ(after[6460 + 38 * 5 + 36], 255);
    EXPECT_EQ(std::memcmp(&after[60], &before[60], 6400), 0); // device records as they were

    run = setup(sim, "2", "channelinputscsvfile", "[\"" + examples + "office-inputs.csv\"]");
    EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("\t/etc/config/dali/cd2.bin (9564 bytes)\r\n"), std::string::npos) << run.out;
    const std::vector<std::uint8_t> inputs = inputs_file_of(sim, 2);
    ASSERT_EQ(inputs.size(), 9564u);
    EXPECT_EQ(text_at(inputs, 28 + 80), "Entrance keypad");
    EXPECT_EQ(inputs[3228 + 1], 33);                       // device_param of the keypad
    EXPECT_EQ(inputs[3228 + 6 + 6 * 3 + 5], 10);           // keypad instance 3, setting 5
    const std::size_t sensor = 3228 + 3 * 198;             // multisensor: occupancy then light
    const std::uint8_t entries[] = {0, 45, 15, 6, 0, 0, 0, 60, 10, 0, 0, 0};
    EXPECT_EQ(std::memcmp(&inputs[sensor + 6], entries, sizeof entries), 0);
    EXPECT_EQ(inputs[28 + 4 * 100 + 80], 0);               // slot 4 not in the sheet: empty
}

TEST(SetupChannelRun, ChannelsAndFilesPairUpAndTheShorterListEndsTheRun)
{
    SheetFolder folder;
    const std::string a = folder.write("a.csv", "#dali-channel-csv-version: 1\n0,0,0,From A,[],0,0,0,0,0,0,[]\n");
    const std::string b = folder.write("b.csv", "#dali-channel-csv-version: 1\n0,0,0,From B,[],0,0,0,0,0,0,[]\n");
    {
        Simulator sim;
        const ProcessResult run = setup(sim, "[1,2]", "channelcsvfile", "[\"" + a + "\"]");
        EXPECT_EQ(run.exit_code, 0) << run.out;
        EXPECT_EQ(count_requests(sim, "GET", "config=dali2"), 0);
        EXPECT_EQ(count_requests(sim, "WRQ"), 1);
        EXPECT_EQ(text_at(channel_file_of(sim, 1), 60 + 45), "From A");
    }
    {
        Simulator sim;
        const ProcessResult run = setup(sim, "[3]", "channelcsvfile", "[\"" + b + "\",\"" + a + "\"]");
        EXPECT_EQ(run.exit_code, 0) << run.out;
        EXPECT_EQ(count_requests(sim, "WRQ"), 1);
        EXPECT_EQ(text_at(channel_file_of(sim, 3), 60 + 45), "From B");
    }
    {
        // Channel sheets over groups sheets: the groups list is not used.
        Simulator sim;
        const ProcessResult run = run_cli({"--action=setup_channel", "--ip=" + sim.address(), "--channel=[1,2]",
                                           "--channelgroupscsvfile=[\"" + examples + "office-groups.csv\"]",
                                           "--channelcsvfile=[\"" + a + "\",\"" + b + "\"]"});
        EXPECT_EQ(run.exit_code, 0) << run.out;
        EXPECT_NE(run.out.find("FILE=" + b + "\n"), std::string::npos);
        EXPECT_EQ(run.out.find("FILE=" + examples + "office-groups"), std::string::npos);
        EXPECT_EQ(text_at(channel_file_of(sim, 2), 60 + 45), "From B");
        EXPECT_EQ(text_at(channel_file_of(sim, 2), 6460), "Ch2 Group 0");
    }
}

TEST(SetupChannelRun, MissingArgumentsContactNothing)
{
    Simulator sim;
    const std::string file = "[\"" + examples + "office-channel.csv\"]";
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"--ip=" + sim.address(), "--channelcsvfile=" + file},
             std::vector<std::string>{"--channel=1", "--channelcsvfile=" + file},
             std::vector<std::string>{"--channel=1", "--channelinputscsvfile=" + file},
             std::vector<std::string>{"--ip=" + sim.address(), "--channel=1"},
         }) {
        std::vector<std::string> argv = {"--action=setup_channel"};
        argv.insert(argv.end(), args.begin(), args.end());
        const ProcessResult run = run_cli(argv);
        EXPECT_EQ(run.exit_code, 2) << args[0];
        EXPECT_NE(run.out.find("Missing arguments for action setup_channel."), std::string::npos);
    }
    EXPECT_TRUE(sim.requests().empty());
}

TEST(SetupChannelRun, MissingSheetsAreReportedAndNothingIsBuiltFromNothing)
{
    Simulator sim;
    const std::vector<std::uint8_t> before = channel_file_of(sim, 1);
    const std::vector<std::uint8_t> inputs_before = inputs_file_of(sim, 1);

    // A channel sheet that is not there: the file goes back as it was.
    ProcessResult run = setup(sim, "1", "channelcsvfile", "[\"/nonexistent/sheet.csv\"]");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find("CSV file '/nonexistent/sheet.csv' could not be opened; channel 1 is sent back unchanged."),
              std::string::npos) << run.out;
    EXPECT_EQ(count_requests(sim, "WRQ"), 1);
    EXPECT_EQ(channel_file_of(sim, 1), before);

    // An inputs sheet that is not there: no upload at all.
    run = setup(sim, "1", "channelinputscsvfile", "[\"/nonexistent/inputs.csv\"]");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find("Channel 1 skipped: CSV file '/nonexistent/inputs.csv' could not be opened."),
              std::string::npos) << run.out;
    EXPECT_EQ(count_requests(sim, "WRQ"), 1);
    EXPECT_EQ(inputs_file_of(sim, 1), inputs_before);
}

TEST(SetupChannelRun, AChannelThatCannotBeDownloadedIsSkippedAndTheNextGoesOn)
{
    Simulator sim;
    const std::string sheet = "[\"" + examples + "office-channel.csv\",\"" + examples + "office-channel.csv\"]";
    const ProcessResult run = setup(sim, "[9,1]", "channelcsvfile", sheet);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find("Channel 9 skipped: its configuration could not be downloaded."), std::string::npos);
    EXPECT_EQ(run.out.find("CH=9"), std::string::npos);
    EXPECT_NE(run.out.find("CH=1"), std::string::npos);
    EXPECT_EQ(count_requests(sim, "WRQ"), 1);
}

TEST(SetupChannelRun, InputsSheetsBelowFormatThreeAreRefusedOnce)
{
    Simulator sim({"--firmware-version", "1.4.7"});
    const std::string sheet = examples + "office-inputs.csv";
    const ProcessResult run = setup(sim, "[1,2]", "channelinputscsvfile", "[\"" + sheet + "\",\"" + sheet + "\"]");
    EXPECT_EQ(run.exit_code, 1);
    const std::string message = "importcsv_cd\terror version 1.4.7 not supported.\r\n";
    EXPECT_NE(run.out.find(message), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(message), run.out.rfind(message));
    EXPECT_EQ(count_requests(sim, "GET", "config=dali2"), 0);
    EXPECT_EQ(count_requests(sim, "WRQ"), 0);
}

TEST(SetupChannelRun, TokeniserErrorEndsTheRunAfterTheChannelsBeforeIt)
{
    Simulator sim;
    SheetFolder folder;
    const std::string bad = folder.write("bad.csv", "#dali-channel-csv-version: 1\n0,0,0,\"" + std::string(70000, 'x'));
    const std::string good = examples + "office-channel.csv";
    const ProcessResult run =
        setup(sim, "[1,2,3]", "channelcsvfile", "[\"" + good + "\",\"" + bad + "\",\"" + good + "\"]");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.err.find("\nError while parsing file: "), std::string::npos) << run.err;
    EXPECT_EQ(count_requests(sim, "WRQ"), 1);
    EXPECT_EQ(count_requests(sim, "GET", "config=dali3"), 0);
    EXPECT_EQ(text_at(channel_file_of(sim, 1), 60 + 45), "Entrance downlight 1");
}

TEST(SetupChannelRun, OlderFormatsTakeTheSameSheet)
{
    struct Case { const char* firmware; std::size_t size, record, name; };
    for (Case c : {Case{"1.4.7", 10912, 160, 106}, Case{"1.3.0", 11168, 152, 94}, Case{"1.2.9", 11168, 152, 94}}) {
        SCOPED_TRACE(c.firmware);
        Simulator sim({"--firmware-version", c.firmware});
        const ProcessResult run = setup(sim, "4", "channelcsvfile", "[\"" + examples + "office-channel.csv\"]");
        EXPECT_EQ(run.exit_code, 0) << run.out;
        const std::vector<std::uint8_t> after = channel_file_of(sim, 4);
        ASSERT_EQ(after.size(), c.size);
        EXPECT_EQ(text_at(after, 60 + 9 * c.record + c.name), "Open office row 1");
        EXPECT_EQ(after[8], std::string(c.firmware) == "1.4.7" ? 2 : 1);
    }
}

} // namespace

namespace {

TEST(SetupChannelRun, AChannelFileThatCannotBeReadIsNotReplacedByOneBuiltFromNothing)
{
    Simulator sim({"--empty-file", "dali1"});
    const std::string sheet = examples + "office-channel.csv";
    const ProcessResult run = setup(sim, "[1,2]", "channelcsvfile", "[\"" + sheet + "\",\"" + sheet + "\"]");
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.out.find("Error '/etc/config/dali/dali1.bin' file size error."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Channel 1 skipped: its current channel file could not be read."), std::string::npos);
    EXPECT_EQ(count_requests(sim, "WRQ"), 1); // channel 2 only
    EXPECT_TRUE(channel_file_of(sim, 1).empty());
    EXPECT_EQ(text_at(channel_file_of(sim, 2), 60 + 45), "Entrance downlight 1");
}

} // namespace
