#pragma once
// A one-line progress indicator on a terminal's bottom row, for runs at a
// terminal: "[ 42%] what is being done", redrawn in place while the log
// lines scroll above it, and cleared when the indicator goes.

#include "log/log.h"

#include <string>

class TerminalProgress final : public LogSink {
public:
    // Standard error is a terminal.
    static bool wanted();

    TerminalProgress() = default;
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // Remembers what is being done; the indicator shows it from the first
    // progress step on.
    void insert_line_at_top(LogColour colour, std::string_view line) override;
    void set_progress(int percent) override;

private:
    void draw();

    int percent_ = -1; // no progress step yet: nothing shown
    std::string doing_;
    int rows_ = 0;     // terminal height the scrolling region was set for
};
