// The utility's log window as a user meets it, on an X server of the
// test's own: found and measured with xdotool and xwininfo, read back with
// screenshots and the clipboard.

#include "support/simulator.h"
#include "window/x_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* title = "Please wait...";
// The progress bar's own colours: the part done and the part to go.
constexpr std::uint32_t bar_done = 0x06b025;
constexpr std::uint32_t bar_to_go = 0xe6e6e6;
constexpr std::size_t stamp_length = 24;

// Share of the bar's width that shows done, read across its middle row.
double bar_done_share(const Image& image)
{
    int done = 0;
    for (int x = 0; x < image.width; ++x)
        done += image.pixel(x, image.height - 10) == bar_done;
    return static_cast<double>(done) / image.width;
}

bool is_bar(std::uint32_t pixel)
{
    return pixel == bar_done || pixel == bar_to_go;
}

// Rows of bar at column x, counted up from the bottom edge.
int bar_rows(const Image& image, int x)
{
    int rows = 0;
    while (rows < image.height && is_bar(image.pixel(x, image.height - 1 - rows)))
        ++rows;
    return rows;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::size_t utf8_characters(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

bool has_time_stamp_shape(std::string_view stamp)
{
    constexpr std::string_view pattern = "9999-99-99 99:99:99.999 ";
    if (stamp.size() < pattern.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (pattern[i] == '9' ? !digit : stamp[i] != pattern[i])
            return false;
    }
    return true;
}

class LogWindowTest : public testing::Test {
protected:
    XServer x;

    std::vector<std::string> backup_args(const Simulator& sim, const TempFolder& out) const
    {
        return {"--action=get_backup", "--ip=" + sim.address(), "--backupfileouttype=zip",
                "--backupfileout=" + out.path()};
    }
    void click_copy_menu_item(const std::string& window) const
    {
        x.tool({"xdotool", "mousemove", "--window", window, "40", "10", "click", "1"});
    }
    std::string clipboard() const { return x.tool({"xclip", "-o", "-selection", "clipboard"}).out; }
    // Waits until the run's standard output holds text; false when the run
    // ended or limit passed first.
    static bool wait_for_output(BackgroundCli& run, const std::string& text, std::chrono::milliseconds limit)
    {
        const auto deadline = Clock::now() + limit;
        while (run.out().find(text) == std::string::npos) {
            if (run.exit_status() || Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(20ms);
        }
        return true;
    }
};

TEST_F(LogWindowTest, BackupShowsItsLogAndProgressThenClosesAfterThePause)
{
    // A few lost TFTP packets, each resent after half a second, keep the
    // backup running for seconds while the window is looked at.
    Simulator sim({"--tftp-drop-every", "2000", "--tftp-timeout", "0.5"});
    TempFolder out;
    BackgroundCli run(backup_args(sim, out), {x.display_env()});
    const std::string window = x.find_window(title, 20s);
    ASSERT_FALSE(window.empty()) << x.state() << "\n" << run.err();
    EXPECT_EQ(x.window_title(window), title);
    EXPECT_EQ(x.window_size(window), std::make_pair(800, 600));

    // A smaller window keeps the bar 20 pixels high along its bottom edge.
    // Checked while the action runs, so that the pause after it is left to
    // the log.
    x.tool({"xdotool", "windowsize", window, "640", "420"});
    std::optional<Image> image;
    for (int tries = 0; tries < 50 && (!image || image->width != 640 || image->height != 420); ++tries) {
        std::this_thread::sleep_for(50ms);
        image = window_image(x, window);
    }
    ASSERT_TRUE(image && image->width == 640 && image->height == 420);
    EXPECT_EQ(x.window_size(window), std::make_pair(640, 420));
    for (int column : {0, 320, 639})
        EXPECT_EQ(bar_rows(*image, column), 20) << "column " << column;

    std::vector<double> shares;
    while (run.out().find("Completed") == std::string::npos && !run.exit_status()) {
        if (const std::optional<Image> image = window_image(x, window))
            shares.push_back(bar_done_share(*image));
    }
    const Clock::time_point action_end = Clock::now();
    ASSERT_FALSE(run.exit_status()) << "the window must stay for the pause\n" << run.out();
    EXPECT_TRUE(std::any_of(shares.begin(), shares.end(), [](double s) { return s > 0.02 && s < 0.98; }))
        << "the bar never showed work in progress in " << shares.size() << " screenshots";

    image = window_image(x, window);
    ASSERT_TRUE(image);
    EXPECT_NEAR(bar_done_share(*image), 1.0, 0.01);
    EXPECT_EQ(bar_rows(*image, 400), 20);

    // The log, newest line first, each with its time stamp, kept within
    // 8,192 characters although the backup logged far more.
    click_copy_menu_item(window);
    const std::string copied = clipboard();
    const std::vector<std::string> lines = lines_of(copied);
    ASSERT_GE(lines.size(), 20u) << copied;
    EXPECT_LE(utf8_characters(copied), 8192u);
    EXPECT_EQ(lines.front().substr(stamp_length), "100% Completed (" + out.path() + "/" + out.entries().at(0) + ").");
    const std::string console = run.out();
    std::size_t console_at = console.size();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ASSERT_TRUE(has_time_stamp_shape(lines[i])) << lines[i];
        if (i > 0) {
            EXPECT_LE(lines[i].substr(0, stamp_length), lines[i - 1].substr(0, stamp_length));
        }
        // Each line was written to standard output before the one above it.
        const std::size_t found = console.rfind(lines[i].substr(stamp_length) + "\r\n", console_at);
        ASSERT_NE(found, std::string::npos) << "line " << i << " out of order: " << lines[i];
        console_at = found == 0 ? 0 : found - 1;
    }

    EXPECT_EQ(run.wait(15s), 0) << run.err();
    const auto shown_after_action = Clock::now() - action_end;
    EXPECT_GE(shown_after_action, 3s);
    EXPECT_LE(shown_after_action, 8s);
    EXPECT_EQ(out.entries().size(), 1u);
}

TEST_F(LogWindowTest, ClosingTheWindowMidRunEndsItWithFailureAndNoArchive)
{
    // Every 100th TFTP packet is lost and resent after half a second: the
    // flash image takes seconds to arrive.
    Simulator sim({"--tftp-drop-every", "100", "--tftp-timeout", "0.5"});
    TempFolder out;
    BackgroundCli run(backup_args(sim, out), {x.display_env()});
    const std::string window = x.find_window(title, 20s);
    ASSERT_FALSE(window.empty()) << x.state() << "\n" << run.err();
    std::this_thread::sleep_for(1s);
    ASSERT_FALSE(run.exit_status());
    x.ask_to_close(window);

    EXPECT_EQ(run.wait(10s), 1);
    EXPECT_EQ(run.out().find("Completed"), std::string::npos) << run.out();
    EXPECT_EQ(out.entries(), std::vector<std::string>{}) << "a partial archive was left behind";
}

TEST_F(LogWindowTest, ClosingTheWindowWhileTheControllerIsSilentEndsTheRunToo)
{
    // The worker waits inside an exchange that does not answer and reaches
    // no log line; the run ends without it.
    Simulator sim({"--stall"});
    TempFolder out;
    BackgroundCli run(backup_args(sim, out), {x.display_env()});
    const std::string window = x.find_window(title, 20s);
    ASSERT_FALSE(window.empty()) << x.state() << "\n" << run.err();
    std::this_thread::sleep_for(2s);
    ASSERT_FALSE(run.exit_status());
    x.ask_to_close(window);

    EXPECT_EQ(run.wait(10s), 1);
    EXPECT_EQ(out.entries(), std::vector<std::string>{}) << run.out() << run.err();
}

TEST_F(LogWindowTest, ClosingTheWindowInThePauseKeepsTheRunsResult)
{
    Simulator sim;
    TempFolder out;
    std::vector<std::string> args = backup_args(sim, out);
    args.push_back(R"(--backupconfig=["systemconfig"])");
    BackgroundCli run(args, {x.display_env()});
    const std::string window = x.find_window(title, 20s);
    ASSERT_FALSE(window.empty()) << x.state() << "\n" << run.err();
    ASSERT_TRUE(wait_for_output(run, "Completed", 30s)) << run.out();
    x.ask_to_close(window);

    EXPECT_EQ(run.wait(2s), 0);
    ASSERT_EQ(out.entries().size(), 1u);
    const ProcessResult listing = run_process({"unzip", "-l", out.path() + "/" + out.entries()[0]});
    EXPECT_NE(listing.out.find("systemconfig.tar"), std::string::npos) << listing.out;
}

TEST_F(LogWindowTest, AnEmptyLogLeavesTheClipboardAlone)
{
    // Without arguments nothing is logged; the window still waits its pause.
    BackgroundCli run({}, {x.display_env()});
    const std::string window = x.find_window(title, 20s);
    ASSERT_FALSE(window.empty()) << x.state() << "\n" << run.err();
    const Clock::time_point shown = Clock::now();
    run_process({"sh", "-c", "printf earlier | xclip -selection clipboard -i >/dev/null 2>&1"}, {x.display_env()});
    ASSERT_EQ(clipboard(), "earlier");
    click_copy_menu_item(window);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(clipboard(), "earlier");

    EXPECT_EQ(run.wait(15s), 2);
    EXPECT_GE(Clock::now() - shown, 3s);
    EXPECT_EQ(run.out(), "kelpu-cli\n");
}

TEST_F(LogWindowTest, VersionAnswersAtOnceWithoutThePause)
{
    const Clock::time_point start = Clock::now();
    BackgroundCli run({"--version"}, {x.display_env()});
    EXPECT_EQ(run.wait(15s), 0);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(run.out(), "kelpu-cli\nVersion 1.3.0\n");
}

TEST_F(LogWindowTest, ARunAtATerminalShowsNoWindowAndDoesNotPause)
{
    const Clock::time_point start = Clock::now();
    BackgroundCli run({"--action=write_file_flashfs"}, {x.display_env()}, TerminalOn::standard_output);
    EXPECT_EQ(run.wait(15s), 0);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_NE(run.terminal_text().find("optAction=write_file_flashfs"), std::string::npos) << run.terminal_text();
    EXPECT_EQ(run.err(), "");
}

TEST(LogWindowFallback, WithoutADisplayTheRunIsConsoleOnly)
{
    const Clock::time_point start = Clock::now();
    const ProcessResult run = run_cli({"--action=write_file_flashfs"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_EQ(run.err, "");
}

TEST(LogWindowFallback, ADisplayThatCannotBeOpenedFallsBackToTheConsoleAndSaysSo)
{
    const ProcessResult run = run_cli({"--action=write_file_flashfs"}, {"DISPLAY=:65000"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.out, "kelpu-cli\nACTION=write_file_flashfs\noptAction=write_file_flashfs\n");
    EXPECT_NE(run.err.find("kelpu-cli: the log window cannot be opened; running in the console.\n"), std::string::npos)
        << run.err;
}

} // namespace
