#pragma once
// Log lines and progress for the user: standard output, the log window when
// there is one, and an in-memory capture that a backup stores as "log.txt".

#include <cstddef>
#include <cstdint>
#include <string_view>

// Colours as 0x00BBGGRR, the layout the log window's lines are kept in.
using LogColour = std::uint32_t;
inline constexpr LogColour colour_black = 0x000000;
inline constexpr LogColour colour_red = 0x0000FF;    // errors
inline constexpr LogColour colour_green = 0x008000;  // steps and success
inline constexpr LogColour colour_orange = 0x0080FF; // warnings

void log_info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void log_color(LogColour colour, const char* format, ...) __attribute__((format(printf, 2, 3)));
void progress_set(int percent);

void log_capture_begin();
void log_capture_end();
// The captured lines, each followed by "\n"; null before the first line.
const char* log_capture_data();
std::size_t log_capture_size();

// What a log window provides. The log decides what a line looks like; the
// sink only shows it.
class LogSink {
public:
    virtual ~LogSink() = default;
    // Shows the line above all earlier ones.
    virtual void insert_line_at_top(LogColour colour, std::string_view line) = 0;
    // percent is already within 0..100.
    virtual void set_progress(int percent) = 0;
};

// Null detaches the window; lines then reach standard output and capture only.
void log_set_sink(LogSink* sink);
