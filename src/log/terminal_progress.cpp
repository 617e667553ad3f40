#include "log/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace {

constexpr std::size_t stamp_length = 24; // the log line's time stamp

// What a signal handler writes to give the terminal back its whole height:
// the process may be interrupted with the bottom row set aside.
char restore_sequence[64];
volatile std::sig_atomic_t restore_length = 0;

// Terminal sequences: save and restore the cursor, set the scrolling region,
// place the cursor, erase to the end of the line or of the screen.
int format_restore(char* out, std::size_t size, int rows)
{
    return std::snprintf(out, size, "\0337\033[1;%dr\0338\033[J", rows);
}

void restore_and_reraise(int signal_number)
{
    if (restore_length > 0)
        static_cast<void>(::write(STDERR_FILENO, restore_sequence, static_cast<std::size_t>(restore_length)));
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void watch_interrupts()
{
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal_number, restore_and_reraise);
}

void unwatch_interrupts()
{
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP})
        std::signal(signal_number, SIG_DFL);
}

// Printable text only, at most width bytes, not ending inside a UTF-8
// sequence.
std::string fit(std::string text, std::size_t width)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.size() <= width)
        return text;
    std::size_t end = width;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

} // namespace

bool TerminalProgress::wanted()
{
    return isatty(STDERR_FILENO) != 0;
}

TerminalProgress::~TerminalProgress()
{
    if (rows_ == 0)
        return;
    std::fflush(stdout);
    std::fprintf(stderr, "\0337\033[1;%dr\0338\033[J", rows_);
    std::fflush(stderr);
    restore_length = 0;
    unwatch_interrupts();
}

void TerminalProgress::insert_line_at_top(LogColour, std::string_view line)
{
    const std::string message(line.substr(std::min(line.size(), stamp_length)));
    if (message == doing_)
        return;
    doing_ = message;
    if (percent_ >= 0)
        draw();
}

void TerminalProgress::set_progress(int percent)
{
    if (percent == percent_)
        return;
    percent_ = percent;
    draw();
}

void TerminalProgress::draw()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row < 2 || size.ws_col < 8)
        return;
    // Lines already written to the terminal stay above the indicator.
    std::fflush(stdout);
    const int rows = size.ws_row;
    if (rows != rows_) {
        // A new line first, so that the row the cursor is on is not the one
        // set aside; then scroll only above the bottom row.
        std::fprintf(stderr, "\n\0337\033[1;%dr\0338\033[1A", rows - 1);
        rows_ = rows;
        restore_length = 0;
        restore_length = format_restore(restore_sequence, sizeof restore_sequence, rows);
        watch_interrupts();
    }
    char percent[16];
    std::snprintf(percent, sizeof percent, "[%3d%%] ", percent_);
    const std::string text = percent + fit(doing_, size.ws_col - 1 - std::string_view(percent).size());
    std::fprintf(stderr, "\0337\033[%d;1H\033[K%s\0338", rows, text.c_str());
    std::fflush(stderr);
}
