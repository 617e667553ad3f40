#include "cli/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    CommandOptions options;
    ParseOutcome outcome;
    std::string out;
};

Parsed parse(std::vector<std::string> words)
{
    words.insert(words.begin(), "kelpu-cli");
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    Parsed parsed;
    testing::internal::CaptureStdout();
    parsed.outcome = options_parse(static_cast<int>(words.size()), argv.data(), parsed.options);
    parsed.out = testing::internal::GetCapturedStdout();
    return parsed;
}

TEST(ChannelList, NumbersAndNumericStringsAreTakenUntilTheFirstArrayEnd)
{
    EXPECT_EQ(parse({"--channel=[1,\"3\",2.9]"}).options.optChannels, (std::vector<int>{1, 3, 2}));
    EXPECT_EQ(parse({"-c", "4"}).options.optChannels, (std::vector<int>{4}));
    EXPECT_EQ(parse({"--create", "[-1.9, 2]"}).options.optChannels, (std::vector<int>{-1, 2}));
    EXPECT_EQ(parse({"--channel=[1,[2],3]"}).options.optChannels, (std::vector<int>{1, 2}));
}

TEST(ChannelList, EmptyOrInvalidValuesLeaveTheListUnset)
{
    EXPECT_TRUE(parse({"--channel=[]"}).options.optChannels.empty());
    EXPECT_TRUE(parse({"--channel=C:\\out\\file.csv"}).options.optChannels.empty());
    EXPECT_TRUE(parse({"--channel=[1e300]"}).options.optChannels.empty());
}

TEST(ChannelList, AWordThatIsNoNumberEndsTheList)
{
    EXPECT_EQ(parse({"--channel=[1,\"x\",3]"}).options.optChannels, (std::vector<int>{1}));
    EXPECT_TRUE(parse({"--channel=[\"x\",3]"}).options.optChannels.empty());
    EXPECT_EQ(parse({"--channel=[\" 2x\",\"4294967297\",3]"}).options.optChannels, (std::vector<int>{2}));
}

TEST(ChannelList, AFollowingListReplacesAnEarlierOneUnlessEmpty)
{
    EXPECT_EQ(parse({"--channel=[1,2,3]", "--channel=[4]"}).options.optChannels, (std::vector<int>{4}));
    EXPECT_EQ(parse({"--channel=[1,2]", "--channel=[]"}).options.optChannels, (std::vector<int>{1, 2}));
    EXPECT_TRUE(parse({"--channel=[1,2]", "--channel=[0]"}).options.optChannels.empty());
}

TEST(TextList, StringsAtAnyDepthUntilTheFirstArrayEnd)
{
    EXPECT_EQ(parse({"--channelcsvfile=[\"a\",[\"b\"],\"c\"]"}).options.optChannelCsvFiles,
              (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(parse({"--channelgroupscsvfile={\"k\":\"v\"}"}).options.optChannelGroupsCsvFiles,
              (std::vector<std::string>{"k", "v"}));
    EXPECT_EQ(parse({"--channelinputscsvfile=\"in.csv\""}).options.optChannelInputsCsvFiles,
              (std::vector<std::string>{"in.csv"}));
    EXPECT_EQ(parse({"--channelcsvfile=[\"C:\\\\a.csv\",1,\"b.csv\"]"}).options.optChannelCsvFiles,
              (std::vector<std::string>{"C:\\a.csv", "b.csv"}));
}

TEST(ConfigNameList, OnlyAnArrayOfIdentifiersIsTaken)
{
    const Parsed taken = parse({"--backupconfig=[\"dali1\", \"cd1\"]", "--action=get_backup"});
    EXPECT_EQ(taken.outcome, ParseOutcome::run);
    EXPECT_EQ(taken.options.optBackupConfig, (std::vector<std::string>{"dali1", "cd1"}));
    EXPECT_EQ(taken.options.optAction, "get_backup");

    // Parsing stops at the refused value: nothing after it is taken.
    const Parsed refused = parse({"--backupconfig=[\"dali1\",\"a b\"]", "--action=get_backup"});
    EXPECT_EQ(refused.outcome, ParseOutcome::invalid);
    EXPECT_FALSE(refused.options.optAction);
    EXPECT_NE(refused.out.find("Invalid --backupconfig value [\"dali1\",\"a b\"]: expected a JSON array"),
              std::string::npos);
    EXPECT_FALSE(json_config_name_list("[\"dali1\"]]"));
    EXPECT_FALSE(json_config_name_list("[\"dali_1\",null]"));
    EXPECT_FALSE(json_config_name_list("[\"dali1\\u0000x\"]"));
    EXPECT_EQ(json_config_name_list("[\"dali_1\",\"DT8\"]\t"), (std::vector<std::string>{"dali_1", "DT8"}));
}

TEST(TextList, EntriesReadBeforeAnErrorStay)
{
    EXPECT_EQ(parse({"--channelinputscsvfile=[\"a\",\"b\" x]"}).options.optChannelInputsCsvFiles,
              (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(parse({"--channelgroupscsvfile=C:\\groups.csv"}).options.optChannelGroupsCsvFiles.empty());
}

TEST(Options, EveryOptionIsEchoedInCommandLineOrder)
{
    const Parsed parsed = parse({"--verbose", "--action=get_backup", "--ip", "10.0.0.5", "--backupfileout=/tmp/o",
                                 "--backupfileouttype=zip", "--backupfilein=b.zip", "--firmwarefile=f.bin",
                                 "--backupconfig=[\"x\"]", "--channelcsvfile=[\"c.csv\"]", "--delete=d",
                                 "--file=f", "--create=[2]"});
    EXPECT_EQ(parsed.out, "option verbose\n"
                          "ACTION=get_backup\n"
                          "IP=10.0.0.5\n"
                          "BackupFileOut/tmp/o\n"
                          "BackupFileOutTypezip\n"
                          "BackupFileInb.zip\n"
                          "FIRMWAREFILE=f.bin\n"
                          "BackupConfig[\"x\"]\n"
                          "CHANNELCSVFILE=[\"c.csv\"]\n"
                          "optarg=#[\"c.csv\"]#"
                          "option delete with arg d\n"
                          "option file with arg f\n"
                          "CHANNEL=[2]\n");
    EXPECT_EQ(optVerbose, 1);
    optVerbose = 0;
    EXPECT_EQ(parsed.options.optAction, "get_backup");
    EXPECT_EQ(parsed.options.optBackupFileOut, "/tmp/o");
    EXPECT_EQ(parsed.options.optBackupFileOutType, "zip");
    EXPECT_EQ(parsed.options.optBackupFileIn, "b.zip");
    EXPECT_EQ(parsed.options.optFirmwareFile, "f.bin");
}

TEST(Options, ExactNamesWinOverPrefixesAndUniquePrefixesAreAccepted)
{
    EXPECT_EQ(parse({"--backupfileout=x"}).options.optBackupFileOut, "x");
    EXPECT_FALSE(parse({"--backupfileout=x"}).options.optBackupFileOutType);
    EXPECT_EQ(parse({"--firm=fw.bin"}).options.optFirmwareFile, "fw.bin");
    EXPECT_EQ(parse({"--act", "get_status"}).options.optAction, "get_status");
}

TEST(Options, TheLastOccurrenceWins)
{
    EXPECT_EQ(parse({"--ip=1.1.1.1", "--ip=2.2.2.2"}).options.optIP, "2.2.2.2");
}

TEST(Options, HelpAndVersionEndTheParse)
{
    const Parsed version = parse({"--ip=1", "--version", "--action=x"});
    EXPECT_EQ(version.outcome, ParseOutcome::finished);
    EXPECT_EQ(version.out, "IP=1\nVersion 1.3.0\n");
    EXPECT_FALSE(version.options.optAction);
    EXPECT_EQ(parse({"--help"}).outcome, ParseOutcome::finished);
}

TEST(Options, ShortOptionsAndParserReports)
{
    EXPECT_EQ(parse({"-0", "-1"}).out, "option 0\ndigits occur in two different argv-elements.\noption 1\n");
    EXPECT_EQ(parse({"-01"}).out, "option 0\noption 1\n");
    EXPECT_EQ(parse({"-b"}).out, "?? getopt returned character code 0142 ??\n");
    EXPECT_EQ(parse({"-d", "v"}).out, "?? getopt returned character code 0144 ??\n");
    EXPECT_EQ(parse({"-a"}).options.optAction, "");
}

TEST(Options, OtherWordsAreReportedAfterTheOptions)
{
    const Parsed parsed = parse({"--ip", "1.2.3.4", "extra", "--action", "get_status", "more"});
    EXPECT_EQ(parsed.out, "IP=1.2.3.4\nACTION=get_status\nnon-option ARGV-elements: extra more \n");
    EXPECT_EQ(parsed.options.optAction, "get_status");
    EXPECT_EQ(parsed.outcome, ParseOutcome::run);
}

} // namespace
