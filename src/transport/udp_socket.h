#pragma once
// A UDP socket for one TFTP transfer and the addresses it talks to.

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct UdpAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
};

// Same host and port.
bool udp_same_endpoint(const UdpAddress& a, const UdpAddress& b);
// Same host, any port.
bool udp_same_host(const UdpAddress& a, const UdpAddress& b);

// The controller's address as given with --ip: "host", "host:port" or
// "[v6]:port"; default_port when no port is given. Null with error set when
// the text is no such address or the host cannot be resolved.
std::optional<UdpAddress> udp_resolve(std::string_view address, std::uint16_t default_port, std::string& error);

// What one wait for a datagram brought.
struct UdpReceived {
    enum class Kind { datagram, timeout, failure } kind = Kind::timeout;
    std::size_t size = 0;      // the datagram's real size, also when it was cut
    UdpAddress source;
};

class UdpSocket {
public:
    // An unbound socket of the address's family; error set when it fails.
    UdpSocket(const UdpAddress& family_of, std::string& error);
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    bool is_open() const { return fd_ >= 0; }
    // False with error set when the datagram could not be handed over.
    bool send(std::span<const std::uint8_t> datagram, const UdpAddress& to, std::string& error);
    // Waits up to wait for one datagram into buffer (cut to its size).
    UdpReceived receive(std::span<std::uint8_t> buffer, std::chrono::milliseconds wait, std::string& error);

private:
    int fd_ = -1;
    std::chrono::milliseconds receive_timeout_{0}; // 0: none set, wait for ever
};
