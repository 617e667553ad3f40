// The utility as a caller sees it: output and exit status of whole runs.

#include "support/run_process.h"

#include <gtest/gtest.h>

namespace {

TEST(CliRun, VersionPrintsTheToolAndVersionAndSucceeds)
{
    const ProcessResult run = run_cli({"--version", "--action=get_status"});
    EXPECT_EQ(run.out, "kelpu-cli\nVersion 1.3.0\n");
    EXPECT_EQ(run.exit_code, 0);
}

TEST(CliRun, HelpPrintsTheHelpText)
{
    const ProcessResult run = run_cli({"--help"});
    EXPECT_EQ(run.out, "kelpu-cli\n"
                       "Help\n"
                       "version\t\tShow the command version.\n"
                       "help\t\tShow the command help.\n"
                       "action\t\tsetup_channel|get_backup|put_backup|push_firmware.\n"
                       "ip\t\tIP address of the controller.\n"
                       "channel\t\tChannel number (1-4).\n"
                       "channelcsvfile\tChannel CSV file path.\n"
                       "firmwarefile\tFirmware binary file path.\n"
                       "Manual page: man kelpu-cli\n");
    EXPECT_EQ(run.exit_code, 0);
}

TEST(CliRun, AnUnknownActionIsReportedAsAnArgumentError)
{
    const ProcessResult run = run_cli({"--action=foo"});
    EXPECT_EQ(run.out, "kelpu-cli\nACTION=foo\noptAction=foo\n\nAction 'foo' not defined.\n");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run_cli({"--action=GET_STATUS"}).exit_code, 2);
}

TEST(CliRun, NoActionRunsNothingAndIsAnArgumentError)
{
    const ProcessResult run = run_cli({});
    EXPECT_EQ(run.out, "kelpu-cli\n");
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(run_cli({"--acton=get_status", "--ip=127.0.0.1:9"}).exit_code, 2);
}

TEST(CliRun, WriteFileActionsAreAcceptedAndDoNothing)
{
    const ProcessResult run = run_cli({"--ip", "127.0.0.1:9", "extra", "--action", "write_file_flashfs"});
    EXPECT_EQ(run.out, "kelpu-cli\nIP=127.0.0.1:9\nACTION=write_file_flashfs\n"
                       "non-option ARGV-elements: extra \n"
                       "optAction=write_file_flashfs\noptIP=127.0.0.1:9\n");
    EXPECT_EQ(run.exit_code, 0);
}

TEST(CliRun, AmbiguousAndUnknownOptionsAreDiagnosedAndParsingGoesOn)
{
    const ProcessResult run = run_cli({"--ch=1", "--nosuch", "--action=write_file_flashraw"});
    EXPECT_EQ(run.out, "kelpu-cli\n"
                       "?? getopt returned character code 077 ??\n"
                       "?? getopt returned character code 077 ??\n"
                       "ACTION=write_file_flashraw\noptAction=write_file_flashraw\n");
    EXPECT_NE(run.err.find("ambiguous"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nosuch"), std::string::npos) << run.err;
    EXPECT_EQ(run.exit_code, 0);
}

TEST(CliRun, AMissingOptionValueIsDiagnosed)
{
    const ProcessResult run = run_cli({"--ip"});
    EXPECT_EQ(run.out, "kelpu-cli\n?? getopt returned character code 077 ??\n");
    EXPECT_NE(run.err.find("requires an argument"), std::string::npos) << run.err;
}

} // namespace
