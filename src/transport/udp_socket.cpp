#include "transport/udp_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

namespace {

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

// host and port text of "host", "host:port" or "[v6]:port"; false when the
// text has a shape no controller address has.
bool split_address(std::string_view address, std::string& host, std::string& port)
{
    if (address.starts_with('[')) {
        const std::size_t close = address.find(']');
        if (close == std::string_view::npos)
            return false;
        host = address.substr(1, close - 1);
        const std::string_view rest = address.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':'))
            return false;
        port = rest.empty() ? "" : rest.substr(1);
    } else {
        const std::size_t colon = address.find(':');
        host = address.substr(0, colon);
        port = colon == std::string_view::npos ? "" : address.substr(colon + 1);
    }
    return !host.empty();
}

std::optional<std::uint16_t> parse_port(const std::string& text)
{
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace

bool udp_same_host(const UdpAddress& a, const UdpAddress& b)
{
    if (a.storage.ss_family != b.storage.ss_family)
        return false;
    if (a.storage.ss_family == AF_INET) {
        const auto& x = reinterpret_cast<const sockaddr_in&>(a.storage);
        const auto& y = reinterpret_cast<const sockaddr_in&>(b.storage);
        return x.sin_addr.s_addr == y.sin_addr.s_addr;
    }
    if (a.storage.ss_family == AF_INET6) {
        const auto& x = reinterpret_cast<const sockaddr_in6&>(a.storage);
        const auto& y = reinterpret_cast<const sockaddr_in6&>(b.storage);
        return std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
    }
    return false;
}

bool udp_same_endpoint(const UdpAddress& a, const UdpAddress& b)
{
    if (!udp_same_host(a, b))
        return false;
    if (a.storage.ss_family == AF_INET)
        return reinterpret_cast<const sockaddr_in&>(a.storage).sin_port ==
               reinterpret_cast<const sockaddr_in&>(b.storage).sin_port;
    return reinterpret_cast<const sockaddr_in6&>(a.storage).sin6_port ==
           reinterpret_cast<const sockaddr_in6&>(b.storage).sin6_port;
}

std::optional<UdpAddress> udp_resolve(std::string_view address, std::uint16_t default_port, std::string& error)
{
    std::string host, port_text;
    std::optional<std::uint16_t> port = default_port;
    if (!split_address(address, host, port_text) || (!port_text.empty() && !(port = parse_port(port_text)))) {
        error = "'" + std::string(address) + "' is no controller address (host or host:port)";
        return std::nullopt;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), std::to_string(*port).c_str(), &hints, &found);
    const std::unique_ptr<addrinfo, AddrInfoFree> list(found);
    if (status != 0 || found == nullptr || found->ai_addrlen > sizeof(sockaddr_storage)) {
        error = "cannot resolve '" + host + "': " + (status != 0 ? gai_strerror(status) : "no address");
        return std::nullopt;
    }
    UdpAddress resolved;
    std::memcpy(&resolved.storage, found->ai_addr, found->ai_addrlen);
    resolved.length = found->ai_addrlen;
    return resolved;
}

UdpSocket::UdpSocket(const UdpAddress& family_of, std::string& error)
    : fd_(socket(family_of.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0))
{
    if (fd_ < 0)
        error = std::string("cannot open a UDP socket: ") + std::strerror(errno);
}

UdpSocket::~UdpSocket()
{
    if (fd_ >= 0)
        close(fd_);
}

bool UdpSocket::send(std::span<const std::uint8_t> datagram, const UdpAddress& to, std::string& error)
{
    while (sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to.storage),
                  to.length) < 0) {
        if (errno != EINTR) {
            error = std::string("cannot send to the controller: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

UdpReceived UdpSocket::receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait, std::string& error)
{
    UdpReceived received;
    // A blocking receive with the socket's own time-out costs one system
    // call per datagram where poll and a receive cost two; in a lock-step
    // protocol that is a good part of the time per block. The time-out is
    // set again only when it has to move.
    const bool no_wait = wait < std::chrono::milliseconds(1);
    if (!no_wait && std::chrono::abs(wait - receive_timeout_) > std::chrono::milliseconds(20)) {
        const timeval tv{static_cast<time_t>(wait.count() / 1000), static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
        if (setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) {
            received.kind = UdpReceived::Kind::failure;
            error = std::string("cannot set a time-out: ") + std::strerror(errno);
            return received;
        }
        receive_timeout_ = wait;
    }
    received.source.length = sizeof received.source.storage;
    // MSG_TRUNC gives the datagram's real size, so an oversized one is seen as such.
    const ssize_t n = recvfrom(fd_, buffer.data(), buffer.size(), MSG_TRUNC | (no_wait ? MSG_DONTWAIT : 0),
                               reinterpret_cast<sockaddr*>(&received.source.storage), &received.source.length);
    if (n >= 0) {
        received.kind = UdpReceived::Kind::datagram;
        received.size = static_cast<std::size_t>(n);
        return received;
    }
    // A refused earlier datagram is reported here on some systems; the time
    // rules of the caller decide whether the peer is gone.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNREFUSED)
        return received;
    received.kind = UdpReceived::Kind::failure;
    error = std::string("cannot receive from the controller: ") + std::strerror(errno);
    return received;
}
