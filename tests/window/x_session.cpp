#include "window/x_session.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

using namespace std::chrono_literals;

pid_t spawn(std::vector<std::string> argv, std::vector<std::string> env, posix_spawn_file_actions_t& actions)
{
    std::vector<char*> c_args = c_strings(argv);
    std::vector<char*> c_env = c_strings(env);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, c_args[0], &actions, nullptr, c_args.data(), c_env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
    return pid;
}

void end_process(pid_t pid)
{
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string temp_path(const std::string& stem)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    close(fd);
    return pattern;
}

// Starts Xvfb on display :number; gives the server's process id once it
// accepts clients, or -1 when it could not take that display.
pid_t start_xvfb(int number)
{
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // With -displayfd Xvfb writes the display number once it accepts
    // clients, and ends at once when the display is taken.
    // -noreset: by default the server resets when its last client leaves
    // and refuses connections meanwhile, which a test's short-lived X tools
    // would make it do at any moment.
    const pid_t pid = spawn({"Xvfb", ":" + std::to_string(number), "-displayfd", "3", "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp", "-noreset"},
                            merged_environment({}), actions);
    close(ready[1]);
    std::string written;
    char chunk[32];
    pollfd p{ready[0], POLLIN, 0};
    while (written.find('\n') == std::string::npos && poll(&p, 1, 60000) > 0) {
        const ssize_t n = read(ready[0], chunk, sizeof chunk);
        if (n <= 0)
            break;
        written.append(chunk, static_cast<std::size_t>(n));
    }
    close(ready[0]);
    if (written.find('\n') == std::string::npos) {
        end_process(pid);
        return -1;
    }
    return pid;
}

} // namespace

XServer::XServer()
{
    // Displays are shared by everything on this machine: a random one far
    // above those that desktops and xvfb-run take first.
    std::random_device random;
    std::uniform_int_distribution<int> numbers(300, 2999);
    for (int attempt = 0; attempt < 10 && pid_ < 0; ++attempt) {
        const int number = numbers(random);
        pid_ = start_xvfb(number);
        display_ = ":" + std::to_string(number);
    }
    if (pid_ < 0)
        throw std::runtime_error("Xvfb did not start");
}

XServer::~XServer()
{
    if (ended_)
        return;
    kill(pid_, SIGTERM);
    for (int waited_ms = 0; waited_ms < 5000; waited_ms += 10) {
        if (waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(10ms);
    }
    end_process(pid_);
}

std::string XServer::state() const
{
    int status = 0;
    if (!ended_ && waitpid(pid_, &status, WNOHANG) == pid_)
        ended_ = status;
    if (!ended_)
        return "Xvfb " + display_ + " running";
    status = *ended_;
    if (WIFSIGNALED(status))
        return "Xvfb " + display_ + " killed by signal " + std::to_string(WTERMSIG(status));
    return "Xvfb " + display_ + " ended with status " + std::to_string(WEXITSTATUS(status));
}

ProcessResult XServer::tool(const std::vector<std::string>& argv) const
{
    return run_process(argv, {display_env()});
}

std::string XServer::find_window(const std::string& title, std::chrono::milliseconds limit) const
{
    std::string pattern = "^";
    for (char c : title)
        pattern += std::strchr(".^$*+?()[]{}|\\", c) != nullptr ? std::string("\\") + c : std::string(1, c);
    pattern += "$";
    const auto deadline = std::chrono::steady_clock::now() + limit;
    do {
        const ProcessResult found = tool({"xdotool", "search", "--onlyvisible", "--name", pattern});
        if (found.exit_code == 0 && !found.out.empty())
            return found.out.substr(0, found.out.find('\n'));
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < deadline);
    return {};
}

void XServer::ask_to_close(const std::string& window) const
{
    const std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(display_.c_str()), XCloseDisplay);
    if (!connection)
        throw std::runtime_error("cannot connect to " + display_);
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = std::stoul(window);
    close.xclient.message_type = XInternAtom(connection.get(), "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(connection.get(), "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection.get(), close.xclient.window, False, NoEventMask, &close);
    XSync(connection.get(), False);
}

std::string XServer::window_title(const std::string& window) const
{
    std::string name = tool({"xdotool", "getwindowname", window}).out;
    if (!name.empty() && name.back() == '\n')
        name.pop_back();
    return name;
}

std::pair<int, int> XServer::window_size(const std::string& window) const
{
    std::istringstream info(tool({"xwininfo", "-id", window}).out);
    std::pair<int, int> size{-1, -1};
    for (std::string line; std::getline(info, line);) {
        if (line.find("  Width: ") == 0)
            size.first = std::stoi(line.substr(9));
        if (line.find("  Height: ") == 0)
            size.second = std::stoi(line.substr(10));
    }
    return size;
}

std::uint32_t Image::pixel(int x, int y) const
{
    const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3;
    return (std::uint32_t{rgb[at]} << 16) | (std::uint32_t{rgb[at + 1]} << 8) | rgb[at + 2];
}

std::optional<Image> window_image(const XServer& x, const std::string& window)
{
    const ProcessResult shot = x.tool({"import", "-window", window, "-depth", "8", "ppm:-"});
    std::istringstream in(shot.out);
    std::string magic;
    int max_value = 0;
    Image image;
    in >> magic >> image.width >> image.height >> max_value;
    in.get(); // the one white-space byte before the pixels
    if (shot.exit_code != 0 || magic != "P6" || max_value != 255 || image.width <= 0 || image.height <= 0)
        return std::nullopt;
    image.rgb.resize(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 3);
    in.read(reinterpret_cast<char*>(image.rgb.data()), static_cast<std::streamsize>(image.rgb.size()));
    if (in.gcount() != static_cast<std::streamsize>(image.rgb.size()))
        return std::nullopt;
    return image;
}

BackgroundCli::BackgroundCli(const std::vector<std::string>& args, const std::vector<std::string>& extra_env,
                             TerminalOn terminal)
    : out_path_(temp_path("kelpu-cli-out")), err_path_(temp_path("kelpu-cli-err"))
{
    std::vector<std::string> argv{KELPU_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int terminal_child = -1;
    if (terminal != TerminalOn::none) {
        winsize size{24, 80, 0, 0};
        if (openpty(&terminal_, &terminal_child, nullptr, nullptr, &size) != 0)
            throw std::runtime_error("openpty failed");
        fcntl(terminal_, F_SETFD, FD_CLOEXEC);
        fcntl(terminal_child, F_SETFD, FD_CLOEXEC);
        fcntl(terminal_, F_SETFL, O_NONBLOCK);
    }
    if (terminal == TerminalOn::standard_output)
        posix_spawn_file_actions_adddup2(&actions, terminal_child, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path_.c_str(), O_WRONLY | O_TRUNC, 0);
    if (terminal == TerminalOn::standard_error)
        posix_spawn_file_actions_adddup2(&actions, terminal_child, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path_.c_str(), O_WRONLY | O_TRUNC, 0);
    pid_ = spawn(argv, merged_environment(extra_env), actions);
    if (terminal_child >= 0)
        close(terminal_child);
}

BackgroundCli::~BackgroundCli()
{
    if (!status_)
        end_process(pid_);
    if (terminal_ >= 0)
        close(terminal_);
    std::remove(out_path_.c_str());
    std::remove(err_path_.c_str());
}

std::optional<int> BackgroundCli::exit_status()
{
    if (status_)
        return status_;
    read_terminal();
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_)
        return std::nullopt;
    read_terminal();
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return status_;
}

// The terminal is read as the run goes, or a run that writes much to it
// would block.
void BackgroundCli::read_terminal()
{
    if (terminal_ < 0)
        return;
    char chunk[4096];
    ssize_t n = 0;
    while ((n = read(terminal_, chunk, sizeof chunk)) > 0)
        terminal_text_.append(chunk, static_cast<std::size_t>(n));
}

std::optional<int> BackgroundCli::wait(std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!exit_status() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    return exit_status();
}

void BackgroundCli::send_signal(int signal_number) const
{
    kill(pid_, signal_number);
}

std::string BackgroundCli::out() const
{
    return read_file(out_path_);
}

std::string BackgroundCli::err() const
{
    return read_file(err_path_);
}

TempFolder::TempFolder()
{
    path_ = (std::filesystem::temp_directory_path() / "kelpu-window-XXXXXX").string();
    if (mkdtemp(path_.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::entries() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    return names;
}
