#include "shell/shell_harness.h"

#include "support/run_process.h"

#include <X11/Xlib.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
            const std::string& output_file, int fd_as_3)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_file.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (fd_as_3 >= 0)
        posix_spawn_file_actions_adddup2(&actions, fd_as_3, 3);
    std::vector<std::string> args = argv;
    std::vector<std::string> env = merged_environment(extra_env);
    std::vector<char*> c_args = c_strings(args);
    std::vector<char*> c_env = c_strings(env);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, c_args[0], &actions, nullptr, c_args.data(), c_env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw std::runtime_error("cannot start " + argv[0]);
    return pid;
}

template <typename Condition>
bool poll_until(std::chrono::milliseconds timeout, Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

} // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
             const std::string& output_file)
    : pid_(spawn(argv, extra_env, output_file, -1))
{
}

Child::~Child()
{
    // Asked first: a shell left by a failed test then still stops its web
    // server, which would otherwise hold the kit's port for the next test.
    signal(SIGTERM);
    if (!wait_for_exit(10s)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void Child::signal(int number) const
{
    if (!reaped_)
        kill(pid_, number);
}

std::optional<int> Child::wait_for_exit(std::chrono::milliseconds timeout)
{
    int status = 0;
    const bool ended = reaped_ || poll_until(timeout, [&] { return waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended)
        return std::nullopt;
    if (!reaped_) {
        reaped_ = true;
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exit_code_;
}

XServer::XServer()
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    // Xvfb picks a free display and writes its number to fd 3 once it is
    // ready. Without -noreset it resets whenever its last client leaves, and
    // a client connecting just then is refused.
    const pid_t pid = spawn(
        {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp", "-noreset"}, {}, "/dev/null",
        fds[1]);
    close(fds[1]);
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    server_.emplace(pid);
    if (number.empty())
        throw std::runtime_error("Xvfb did not start");
    display_ = ":" + number;
    // The number comes a moment before the server takes clients.
    const bool ready = poll_until(10s, [this] {
        Display* connection = XOpenDisplay(display_.c_str());
        if (connection != nullptr)
            XCloseDisplay(connection);
        return connection != nullptr;
    });
    if (!ready)
        throw std::runtime_error("Xvfb takes no clients on " + display_);
}

std::string XTools::run(const std::vector<std::string>& argv) const
{
    const ProcessResult result = run_process(argv, {"DISPLAY=" + display_});
    if (result.exit_code != 0)
        throw std::runtime_error(argv[0] + " failed: " + result.err);
    return result.out;
}

std::optional<std::string> XTools::find_window(const std::string& name_regex) const
{
    const ProcessResult result = run_process({"xdotool", "search", "--onlyvisible", "--name", name_regex},
                                             {"DISPLAY=" + display_});
    std::istringstream lines(result.out);
    std::string id;
    if (result.exit_code != 0 || !std::getline(lines, id) || id.empty())
        return std::nullopt;
    return id;
}

std::optional<std::string> XTools::wait_for_window(const std::string& name_regex,
                                                   std::chrono::milliseconds timeout) const
{
    std::optional<std::string> id;
    poll_until(timeout, [&] { return (id = find_window(name_regex)).has_value(); });
    return id;
}

bool XTools::wait_for_window_gone(const std::string& name_regex, std::chrono::milliseconds timeout) const
{
    return poll_until(timeout, [&] { return !find_window(name_regex); });
}

std::string XTools::window_name(const std::string& id) const
{
    std::string name = run({"xdotool", "getwindowname", id});
    while (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

std::pair<int, int> XTools::window_size(const std::string& id) const
{
    const std::string info = run({"xwininfo", "-id", id});
    std::smatch width, height;
    const std::regex width_line("Width: (\\d+)"), height_line("Height: (\\d+)");
    if (!std::regex_search(info, width, width_line) || !std::regex_search(info, height, height_line))
        throw std::runtime_error("xwininfo gave no size");
    return {std::stoi(width[1]), std::stoi(height[1])};
}

void XTools::keys(const std::string& id, const std::vector<std::string>& keys) const
{
    run({"xdotool", "windowfocus", "--sync", id});
    std::vector<std::string> argv{"xdotool", "key", "--delay", "60"};
    argv.insert(argv.end(), keys.begin(), keys.end());
    run(argv);
}

void XTools::type(const std::string& id, const std::string& text) const
{
    run({"xdotool", "windowfocus", "--sync", id});
    run({"xdotool", "type", "--delay", "40", text});
}

void XTools::click(const std::string& id, int x, int y) const
{
    run({"xdotool", "mousemove", "--window", id, std::to_string(x), std::to_string(y), "click", "1"});
}

void XTools::request_close(const std::string& id) const
{
    Display* display = XOpenDisplay(display_.c_str());
    if (display == nullptr)
        throw std::runtime_error("cannot open " + display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = std::stoul(id);
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
    XCloseDisplay(display);
}

void XTools::screenshot(const fs::path& png) const
{
    fs::create_directories(png.parent_path());
    run({"import", "-window", "root", png.string()});
}

PageServer::PageServer()
{
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("page server cannot listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

PageServer::~PageServer()
{
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
}

std::string PageServer::url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void PageServer::add_page(const std::string& path, std::string html, std::chrono::milliseconds delay)
{
    const std::lock_guard lock(mutex_);
    pages_[path] = Page{std::move(html), delay};
}

std::optional<std::string> PageServer::next_report(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    if (!reported_.wait_for(lock, timeout, [this] { return !reports_.empty(); }))
        return std::nullopt;
    std::string report = reports_.front();
    reports_.pop_front();
    return report;
}

void PageServer::serve()
{
    std::vector<std::thread> workers;
    for (;;) {
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            break;
        // A page held back must not hold up the reports of another.
        workers.emplace_back([this, client] {
            answer(client);
            close(client);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
}

void PageServer::answer(int client)
{
    timeval limit{5, 0};
    setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::string request;
    char chunk[4096];
    std::size_t header_end = std::string::npos;
    while ((header_end = request.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t n = read(client, chunk, sizeof chunk);
        if (n <= 0)
            return;
        request.append(chunk, static_cast<std::size_t>(n));
    }
    std::smatch length_match;
    const std::string head = request.substr(0, header_end);
    std::size_t body_length = 0;
    if (std::regex_search(head, length_match, std::regex("[Cc]ontent-[Ll]ength: *(\\d+)")))
        body_length = std::stoul(length_match[1]);
    while (request.size() < header_end + 4 + body_length) {
        const ssize_t n = read(client, chunk, sizeof chunk);
        if (n <= 0)
            return;
        request.append(chunk, static_cast<std::size_t>(n));
    }
    const std::string method = head.substr(0, head.find(' '));
    const std::size_t path_start = head.find(' ') + 1;
    const std::string path = head.substr(path_start, head.find(' ', path_start) - path_start);

    std::string status = "404 Not Found", body;
    if (method == "POST" && path == "/report") {
        const std::lock_guard lock(mutex_);
        reports_.push_back(request.substr(header_end + 4, body_length));
        reported_.notify_all();
        status = "204 No Content";
    } else if (method == "GET") {
        std::optional<Page> page;
        {
            const std::lock_guard lock(mutex_);
            if (const auto found = pages_.find(path.substr(0, path.find('?'))); found != pages_.end())
                page = found->second;
        }
        if (page) {
            std::this_thread::sleep_for(page->delay);
            status = "200 OK";
            body = page->html;
        }
    }
    const std::string response = "HTTP/1.1 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\n" +
                                 "Content-Length: " + std::to_string(body.size()) +
                                 "\r\nConnection: close\r\n\r\n" + body;
    (void)!write(client, response.data(), response.size());
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "kelpkit-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

fs::path built_kit()
{
    return KELPKIT_KIT_DIR;
}

fs::path copy_kit(const fs::path& folder)
{
    const fs::path kit = folder / "kit";
    fs::create_directories(folder);
    fs::copy(built_kit(), kit, fs::copy_options::recursive);
    return kit;
}

void write_script(const fs::path& path, const std::string& body)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "#!/bin/sh\n" << body;
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

std::string read_file(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string wait_for_file(const fs::path& path, std::chrono::milliseconds timeout)
{
    std::string text;
    poll_until(timeout, [&] { return !(text = read_file(path)).empty(); });
    return text;
}

std::vector<std::string> shell_environment(const std::string& display, const fs::path& home)
{
    return {
        "DISPLAY=" + display,
        "HOME=" + home.string(),
        "XDG_CACHE_HOME=" + (home / ".cache").string(),
        "XDG_DATA_HOME=" + (home / ".local/share").string(),
        "XDG_CONFIG_HOME=" + (home / ".config").string(),
        "GDK_BACKEND=x11",
        "NO_AT_BRIDGE=1",
        "GSETTINGS_BACKEND=memory",
        // GTK and WebKit keep their caches until the process ends; in a
        // sanitizer build that is no leak of the shell's.
        "ASAN_OPTIONS=detect_leaks=0",
    };
}

fs::path screenshot_dir()
{
    return KELPKIT_SCREENSHOT_DIR;
}
