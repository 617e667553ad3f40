#include "support/tftp_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace {

struct Fd {
    int fd;
    ~Fd() { close(fd); }
};

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A UDP port nobody holds right now; the server binds it a moment later.
int free_udp_port()
{
    const Fd probe{socket(AF_INET, SOCK_DGRAM, 0)};
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (bind(probe.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(probe.fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("no free UDP port");
    return ntohs(address.sin_port);
}

// True once the server answers a read request (with anything, typically
// "File not found").
bool answers(int port)
{
    const Fd probe{socket(AF_INET, SOCK_DGRAM, 0)};
    static const char request[] = "\0\1no-such-file\0octet";
    const sockaddr_in address = loopback(port);
    sendto(probe.fd, request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    pollfd ready{probe.fd, POLLIN, 0};
    return poll(&ready, 1, 100) == 1;
}

} // namespace

TftpPeer::TftpPeer(TftpPeerKind kind) : kind_(kind)
{
    std::string pattern = std::filesystem::temp_directory_path() / "kelpu-tftp-peer-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    // Both servers drop their privileges: the folder is open to everyone.
    chmod(folder_.c_str(), 0777);
    port_ = free_udp_port();
    const std::string bind_to = "127.0.0.1:" + std::to_string(port_);
    std::vector<std::string> args;
    if (kind == TftpPeerKind::tftpd_hpa)
        args = {TFTPD_HPA_PATH, "--foreground", "--address", bind_to, "--create", "--secure", folder_};
    else
        args = {ATFTPD_PATH, "--daemon", "--no-fork", "--bind-address", "127.0.0.1", "--port", std::to_string(port_),
                "--logfile", "/dev/null", folder_};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::filesystem::remove_all(folder_);
        throw std::runtime_error(std::string("cannot start ") + argv[0] + " (scripts/install-deps installs it): " +
                                 std::strerror(spawned));
    }
    for (int tries = 0; tries < 50; ++tries) {
        if (answers(port_))
            return;
    }
    this->~TftpPeer();
    throw std::runtime_error(std::string(name()) + " did not answer on " + bind_to);
}

TftpPeer::~TftpPeer()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string TftpPeer::address() const
{
    return "127.0.0.1:" + std::to_string(port_);
}

const char* TftpPeer::name() const
{
    return kind_ == TftpPeerKind::tftpd_hpa ? "tftpd-hpa" : "atftpd";
}
