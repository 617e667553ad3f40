#include "log/log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

namespace {

// A message is cut to 1,023 characters; the window shows at most 511 of them.
constexpr std::size_t message_buffer_size = 1024;
constexpr std::size_t window_buffer_size = 512;

LogSink* window_sink = nullptr;
bool capture_on = false;
std::string capture_text;

std::string window_time_stamp()
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return stamp;
}

void window_log_append(LogColour colour, std::string_view message)
{
    std::string line = window_time_stamp();
    const std::string_view shown = message.substr(0, window_buffer_size - 1);
    line.append(shown);
    // Room for "\r\n" is only left up to 509 characters; longer lines go without.
    const bool ends_in_break = !shown.empty() && (shown.back() == '\r' || shown.back() == '\n');
    if (shown.empty() || (!ends_in_break && shown.size() <= window_buffer_size - 3))
        line += "\r\n";
    window_sink->insert_line_at_top(colour, line);
}

void log_line(LogColour colour, const char* format, va_list values)
{
    char message[message_buffer_size];
    std::vsnprintf(message, sizeof message, format, values);
    // The window takes the line first: a run stopped from the window stops
    // there, before the line is reported anywhere else.
    if (window_sink != nullptr)
        window_log_append(colour, message);
    std::printf("%s\r\n", message);
    if (capture_on) {
        capture_text += message;
        capture_text += '\n';
    }
}

} // namespace

void log_info(const char* format, ...)
{
    va_list values;
    va_start(values, format);
    log_line(colour_black, format, values);
    va_end(values);
}

void log_color(LogColour colour, const char* format, ...)
{
    va_list values;
    va_start(values, format);
    log_line(colour, format, values);
    va_end(values);
}

void progress_set(int percent)
{
    if (window_sink == nullptr)
        return;
    window_sink->set_progress(percent < 0 ? 0 : percent > 100 ? 100 : percent);
}

void log_capture_begin()
{
    capture_text.clear();
    capture_text.shrink_to_fit();
    capture_on = true;
}

void log_capture_end()
{
    capture_text.clear();
    capture_text.shrink_to_fit();
    capture_on = false;
}

const char* log_capture_data()
{
    return capture_text.empty() ? nullptr : capture_text.c_str();
}

std::size_t log_capture_size()
{
    return capture_text.size();
}

void log_set_sink(LogSink* sink)
{
    window_sink = sink;
}
