// The one-line progress indicator that a run at a terminal shows on
// standard error, read back from a pseudo-terminal of 24 rows.

#include "support/simulator.h"
#include "window/x_session.h"

#include <gtest/gtest.h>

#include <csignal>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Save the cursor, scroll only rows 1 to 23, restore the cursor: the bottom
// row is the indicator's.
constexpr std::string_view bottom_row_set_aside = "\0337\033[1;23r\0338";
// The whole height back, and the indicator's row erased.
constexpr std::string_view terminal_given_back = "\0337\033[1;24r\0338\033[J";

TEST(TerminalProgress, ABackupShowsItsProgressOnTheBottomRowAndClearsItAtTheEnd)
{
    Simulator sim;
    TempFolder out;
    BackgroundCli run({"--action=get_backup", "--ip=" + sim.address(), "--backupfileouttype=zip",
                       "--backupfileout=" + out.path(), R"(--backupconfig=["systemconfig","dali1"])"},
                      {"DISPLAY=", "WAYLAND_DISPLAY="}, TerminalOn::standard_error);
    ASSERT_EQ(run.wait(60s), 0) << run.out();
    const std::string& shown = run.terminal_text();

    const std::size_t set_aside = shown.find(bottom_row_set_aside);
    ASSERT_NE(set_aside, std::string::npos) << shown;
    const std::size_t first = shown.find("\0337\033[24;1H\033[K[  0%] Downloading flashfs.bin...\0338");
    const std::size_t last = shown.find("\0337\033[24;1H\033[K[100%] 100% Completed (");
    EXPECT_LT(set_aside, first);
    EXPECT_LT(first, last) << shown;
    ASSERT_NE(last, std::string::npos) << shown;
    EXPECT_TRUE(shown.ends_with(terminal_given_back)) << shown;
    // Standard output did not go to the terminal.
    EXPECT_NE(run.out().find("100% Completed"), std::string::npos);
}

TEST(TerminalProgress, AnInterruptedRunGivesTheTerminalBackItsWholeHeight)
{
    // Lost TFTP packets make the flash image take seconds to arrive.
    Simulator sim({"--tftp-drop-every", "100", "--tftp-timeout", "0.5"});
    TempFolder out;
    BackgroundCli run({"--action=read_file_flashfs", "--ip=" + sim.address(), "--backupfileouttype=raw",
                       "--backupfileout=" + out.path()},
                      {"DISPLAY=", "WAYLAND_DISPLAY="}, TerminalOn::standard_error);
    for (int waited = 0; waited < 300 && run.terminal_text().find("[  ") == std::string::npos; ++waited) {
        ASSERT_FALSE(run.exit_status()) << run.out();
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_NE(run.terminal_text().find(bottom_row_set_aside), std::string::npos) << run.terminal_text();
    run.send_signal(SIGINT);
    EXPECT_EQ(run.wait(10s), -1);
    EXPECT_TRUE(run.terminal_text().ends_with(terminal_given_back)) << run.terminal_text();
}

TEST(TerminalProgress, WorkWithoutProgressLeavesTheTerminalAlone)
{
    Simulator sim;
    BackgroundCli run({"--action=get_status", "--ip=" + sim.address()}, {"DISPLAY=", "WAYLAND_DISPLAY="},
                      TerminalOn::standard_error);
    ASSERT_EQ(run.wait(60s), 0) << run.out();
    EXPECT_EQ(run.terminal_text(), "");
}

} // namespace
