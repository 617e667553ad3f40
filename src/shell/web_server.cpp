#include "shell/web_server.h"

#include "shell/child_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr auto start_wait = 1000ms;
constexpr auto stop_wait = 10000ms;
constexpr auto poll_interval = 20ms;

// True once the child has ended (and has been reaped).
bool child_ended(pid_t pid)
{
    int status = 0;
    const pid_t result = waitpid(pid, &status, WNOHANG);
    return result == pid || result < 0;
}

} // namespace

bool port_answers(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

WebServer::WebServer(const std::string& program, const std::string& working_dir, int port)
{
    if (port_answers(port))
        return;
    const std::optional<pid_t> pid = spawn_program({program, {}, working_dir, true});
    if (!pid)
        return;
    pid_ = *pid;
    const auto deadline = std::chrono::steady_clock::now() + start_wait;
    while (std::chrono::steady_clock::now() < deadline && !port_answers(port)) {
        if (child_ended(pid_)) {
            pid_ = 0;
            return;
        }
        std::this_thread::sleep_for(poll_interval);
    }
}

WebServer::~WebServer()
{
    if (pid_ == 0)
        return;
    kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + stop_wait;
    while (!child_ended(pid_)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            // It ignored the request: end it for good so no server is left
            // holding the port after the shell has gone.
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(poll_interval);
    }
}
