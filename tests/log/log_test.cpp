#include "log/log.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

struct ShownLine {
    LogColour colour;
    std::string text;
};

class RecordingSink : public LogSink {
public:
    std::vector<ShownLine> lines;
    std::vector<int> progress;
    void insert_line_at_top(LogColour colour, std::string_view line) override
    {
        lines.insert(lines.begin(), {colour, std::string(line)});
    }
    void set_progress(int percent) override { progress.push_back(percent); }
};

class LogTest : public testing::Test {
protected:
    RecordingSink sink;
    void SetUp() override { log_set_sink(&sink); }
    void TearDown() override
    {
        log_set_sink(nullptr);
        log_capture_end();
    }
};

constexpr std::size_t stamp_length = 24;

// "YYYY-MM-DD hh:mm:ss.mmm ": a digit wherever the pattern has a 9.
bool has_time_stamp_shape(std::string_view stamp)
{
    constexpr std::string_view pattern = "9999-99-99 99:99:99.999 ";
    if (stamp.size() != pattern.size())
        return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
        if (pattern[i] == '9' ? !digit : stamp[i] != pattern[i])
            return false;
    }
    return true;
}

// The message part of a window line, after the time stamp.
std::string message_of(const ShownLine& line)
{
    return line.text.substr(stamp_length);
}

TEST_F(LogTest, ColouredLineGoesOnTopWithTimeStampAndOnStandardOutput)
{
    testing::internal::CaptureStdout();
    log_info("first");
    log_color(colour_red, "%s", "x");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "first\r\nx\r\n");

    ASSERT_EQ(sink.lines.size(), 2u);
    EXPECT_EQ(sink.lines[0].colour, colour_red);
    EXPECT_EQ(message_of(sink.lines[0]), "x\r\n");
    EXPECT_EQ(sink.lines[1].colour, colour_black);
    EXPECT_TRUE(has_time_stamp_shape(sink.lines[0].text.substr(0, stamp_length))) << sink.lines[0].text;
}

TEST_F(LogTest, WindowAddsALineBreakOnlyWhereOneIsMissingAndFits)
{
    testing::internal::CaptureStdout();
    log_info("ends in newline\n");
    log_info("ends in return\r");
    log_info("%s", "");
    log_info("%s", std::string(509, 'a').c_str());
    log_info("%s", std::string(510, 'b').c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.substr(0, 18), "ends in newline\n\r\n");

    ASSERT_EQ(sink.lines.size(), 5u);
    EXPECT_EQ(message_of(sink.lines[4]), "ends in newline\n");
    EXPECT_EQ(message_of(sink.lines[3]), "ends in return\r");
    EXPECT_EQ(message_of(sink.lines[2]), "\r\n");
    EXPECT_EQ(message_of(sink.lines[1]), std::string(509, 'a') + "\r\n");
    EXPECT_EQ(message_of(sink.lines[0]), std::string(510, 'b'));
}

TEST_F(LogTest, LongMessagesAreCutPerDestination)
{
    const std::string long_message(2000, 'm');
    log_capture_begin();
    testing::internal::CaptureStdout();
    log_info("%s", long_message.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(1023, 'm') + "\r\n");

    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(message_of(sink.lines[0]), std::string(511, 'm'));
    EXPECT_EQ(std::string(log_capture_data()), std::string(1023, 'm') + "\n");
}

TEST_F(LogTest, CaptureHoldsMessagesWithoutStampsWhileOn)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(log_capture_data(), nullptr);
    EXPECT_EQ(log_capture_size(), 0u);
    log_info("before");
    log_capture_begin();
    EXPECT_EQ(log_capture_data(), nullptr);
    log_info("a");
    log_color(colour_green, "b");
    EXPECT_STREQ(log_capture_data(), "a\nb\n");
    EXPECT_EQ(log_capture_size(), 4u);
    log_capture_end();
    log_info("after");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(log_capture_data(), nullptr);
    EXPECT_EQ(log_capture_size(), 0u);
}

TEST_F(LogTest, ProgressIsClampedToThePercentRange)
{
    progress_set(150);
    progress_set(-5);
    progress_set(42);
    EXPECT_EQ(sink.progress, (std::vector<int>{100, 0, 42}));
}

TEST(LogWithoutWindow, LinesStillReachStandardOutputAndCapture)
{
    log_capture_begin();
    testing::internal::CaptureStdout();
    log_color(colour_orange, "[WARN] %d", 7);
    progress_set(50);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[WARN] 7\r\n");
    EXPECT_STREQ(log_capture_data(), "[WARN] 7\n");
    log_capture_end();
}

} // namespace
