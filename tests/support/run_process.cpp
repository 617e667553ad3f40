#include "support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

std::vector<std::string> merged_environment(const std::vector<std::string>& extra)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        bool replaced = false;
        for (const std::string& e : extra)
            replaced = replaced || e.compare(0, name.size() + 1, name + "=") == 0;
        if (!replaced)
            env.push_back(text);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

std::vector<char*> c_strings(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

namespace {

// Reads both pipes until both are closed, so neither can fill and block.
void drain(int out_fd, int err_fd, std::string& out, std::string& err)
{
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open_count = 2;
    char chunk[65536];
    while (open_count > 0) {
        if (poll(fds, 2, -1) < 0)
            throw std::runtime_error("poll failed");
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            const ssize_t n = read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                sinks[i]->append(chunk, static_cast<std::size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
}

} // namespace

ProcessResult run_process(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env)
{
    int out_pipe[2], err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);

    std::vector<std::string> args = argv;
    std::vector<std::string> env = merged_environment(extra_env);
    std::vector<char*> c_args = c_strings(args);
    std::vector<char*> c_env = c_strings(env);

    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, c_args[0], &actions, nullptr, c_args.data(), c_env.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out_pipe[1]);
    close(err_pipe[1]);
    if (spawned != 0) {
        close(out_pipe[0]);
        close(err_pipe[0]);
        throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(spawned));
    }

    ProcessResult result;
    drain(out_pipe[0], err_pipe[0], result.out, result.err);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    result.peak_rss_kib = usage.ru_maxrss;
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    return result;
}

ProcessResult run_cli(const std::vector<std::string>& args, const std::vector<std::string>& extra_env)
{
    std::vector<std::string> argv{KELPU_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    // A test run from a desktop session must not open log windows; window
    // tests name their display.
    std::vector<std::string> env{"DISPLAY=", "WAYLAND_DISPLAY="};
    for (const std::string& entry : extra_env) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
    }
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    return run_process(argv, env);
}
