#pragma once
// What the window tests drive: an X server of the test's own (Xvfb), the X
// tools that look at its windows, and kelpu-cli running in the background.

#include "support/run_process.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class XServer {
public:
    // Starts Xvfb on a free display; throws std::runtime_error when it does
    // not come up.
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    std::string display_env() const { return "DISPLAY=" + display_; }
    // How the server is: "running", or how it ended.
    std::string state() const;
    // Runs an X tool (xdotool, xwininfo, xclip, import) on this display.
    ProcessResult tool(const std::vector<std::string>& argv) const;

    // The visible window with that exact title, as xdotool names it; empty
    // when none shows within limit.
    std::string find_window(const std::string& title, std::chrono::milliseconds limit) const;
    // Asks the window to close as a window manager does when the user
    // clicks its close button (WM_DELETE_WINDOW).
    void ask_to_close(const std::string& window) const;
    std::string window_title(const std::string& window) const;
    // Width and height as xwininfo reports them.
    std::pair<int, int> window_size(const std::string& window) const;

private:
    pid_t pid_ = -1;
    std::string display_;
    mutable std::optional<int> ended_; // wait status, once reaped
};

// A window's pixels as the screen shows them.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    std::uint32_t pixel(int x, int y) const; // 0xRRGGBB
};
std::optional<Image> window_image(const XServer& x, const std::string& window);

enum class TerminalOn { none, standard_output, standard_error };

// kelpu-cli started in the background. Standard output and standard error
// go to files, or one of them to a terminal (24 rows, 80 columns).
class BackgroundCli {
public:
    BackgroundCli(const std::vector<std::string>& args, const std::vector<std::string>& extra_env,
                  TerminalOn terminal = TerminalOn::none);
    ~BackgroundCli(); // kills a run that is still going
    BackgroundCli(const BackgroundCli&) = delete;
    BackgroundCli& operator=(const BackgroundCli&) = delete;

    // The exit status once the run has ended, or nothing while it runs.
    std::optional<int> exit_status();
    // Waits up to limit for the end; -1 when the run ended by a signal.
    std::optional<int> wait(std::chrono::milliseconds limit);
    std::string out() const;
    std::string err() const;
    void send_signal(int signal_number) const;
    // What reached the terminal so far.
    const std::string& terminal_text() const { return terminal_text_; }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string out_path_, err_path_;
    int terminal_ = -1; // our end of the terminal, when there is one
    std::string terminal_text_;

    void read_terminal();
};

// A fresh empty folder, removed with what it holds at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::vector<std::string> entries() const;

private:
    std::string path_;
};
