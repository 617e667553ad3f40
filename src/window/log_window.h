#pragma once
// The window that shows a run's log: title "Please wait...", the log lines
// newest first in their colours, a progress bar along the bottom edge and
// the menu item "Copy log to clipboard". Used on the GTK thread only.

#include "log/log.h"

#include <gtk/gtk.h>

#include <string_view>

class LogWindow {
public:
    LogWindow(); // gtk_init_check must have succeeded
    LogWindow(const LogWindow&) = delete;
    LogWindow& operator=(const LogWindow&) = delete;

    GtkWidget* widget() const { return window_; }
    void insert_line_at_top(LogColour colour, std::string_view line);
    void set_progress(int percent);
    // An empty log leaves the clipboard as it is.
    void copy_log_to_clipboard();

private:
    GtkTextTag* colour_tag(LogColour colour);
    void drop_oldest_lines_beyond_limit();

    GtkWidget* window_ = nullptr;
    GtkTextBuffer* buffer_ = nullptr;
    GtkWidget* progress_ = nullptr;
};
