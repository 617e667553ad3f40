#pragma once
// What the desktop shell's tests drive: a private X server, the shell as a
// child process, X tools (xdotool, xwininfo, xclip) on that server, an HTTP
// server of the test's own that serves test pages and collects what their
// scripts report, and copies of the kit with parts swapped for stand-ins.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

// A child process that the test starts and, if still running at the end,
// stops: SIGTERM, then SIGKILL after ten seconds.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
          const std::string& output_file = "/dev/null");
    explicit Child(pid_t already_started) : pid_(already_started) {}
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // The exit code, -1 when ended by a signal, nothing when still running.
    std::optional<int> wait_for_exit(std::chrono::milliseconds timeout);

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exit_code_ = -1;
};

// An Xvfb server on a display number it picks itself.
class XServer {
public:
    XServer();
    std::string display() const { return display_; }

private:
    std::optional<Child> server_;
    std::string display_;
};

// The X tools, run against one display.
class XTools {
public:
    explicit XTools(std::string display) : display_(std::move(display)) {}

    // Output of an X tool (the display is set); throws when it fails.
    std::string run(const std::vector<std::string>& argv) const;
    // The first window whose name matches the regular expression, or nothing.
    std::optional<std::string> find_window(const std::string& name_regex) const;
    std::optional<std::string> wait_for_window(const std::string& name_regex,
                                               std::chrono::milliseconds timeout = 20s) const;
    bool wait_for_window_gone(const std::string& name_regex, std::chrono::milliseconds timeout = 10s) const;
    std::string window_name(const std::string& id) const;
    std::pair<int, int> window_size(const std::string& id) const;
    // Focuses the window and sends keys to it, as a user typing there.
    void keys(const std::string& id, const std::vector<std::string>& keys) const;
    void type(const std::string& id, const std::string& text) const;
    void click(const std::string& id, int x, int y) const;
    // Asks the window to close, as a window manager's close button does.
    void request_close(const std::string& id) const;
    void screenshot(const std::filesystem::path& png) const;

private:
    std::string display_;
};

// An HTTP server on a free loopback port: GET serves the pages set with
// add_page, POST /report queues the request body for next_report.
class PageServer {
public:
    PageServer();
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    void add_page(const std::string& path, std::string html, std::chrono::milliseconds delay = 0ms);
    std::optional<std::string> next_report(std::chrono::milliseconds timeout = 20s);

private:
    void serve();
    void answer(int client);

    struct Page {
        std::string html;
        std::chrono::milliseconds delay;
    };
    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::condition_variable reported_;
    std::map<std::string, Page> pages_;
    std::deque<std::string> reports_;
    std::thread thread_;
};

// A temporary folder removed at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The built kit, as the build assembled it.
std::filesystem::path built_kit();
// Copies the built kit into folder/kit (folder is created) and returns that path.
std::filesystem::path copy_kit(const std::filesystem::path& folder);
// Writes an executable shell script.
void write_script(const std::filesystem::path& path, const std::string& body);
std::string read_file(const std::filesystem::path& path);
// Waits until the file exists and holds text (a stand-in writes it).
std::string wait_for_file(const std::filesystem::path& path, std::chrono::milliseconds timeout = 10s);

// The environment a shell under test runs in: the display, the home and
// XDG folders inside home, and no accessibility bus or settings daemon.
std::vector<std::string> shell_environment(const std::string& display, const std::filesystem::path& home);

// Where the tests leave screenshots for a person to look at (in the build tree).
std::filesystem::path screenshot_dir();
